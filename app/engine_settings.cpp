#include "app/engine_settings.h"

#include "db/components/engine_component.h"

namespace zendo {

void ConfigureEngine(zolvek::TZOLVEKEngine& engine) {
    // The engine's default record cache is 32 KB: every full scan of a large table would go
    // through the file again, unit by unit.
    engine.SetMaxTableDataBufferSize(kRecordCacheBytes);
    engine.SetMaxTableDataBufferCount(kRecordCacheCount);
}

} // namespace zendo
