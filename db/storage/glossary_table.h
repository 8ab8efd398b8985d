// The glossary table of ZENDO, "datalar": its three fields and two secondary indexes, defined
// once for the program, its tools, tests and benchmarks.
// Thread-safety: pure functions.
#pragma once

#include "db/storage/table_definition.h"

#include <cstdint>

namespace zolvek {

inline constexpr const char* kGlossaryTableName = "datalar";

// Field numbers: the key word (a string of 175), its explanation (a memo), its first letter.
enum TGlossaryField : int32_t { kGlossaryWord = 1, kGlossaryExplanation = 2, kGlossaryLetter = 3 };

// ANAHTAR, ACIKLAMA and INDEX under the Turkish collation (1055). "INDEXX" orders by key word
// ("A'dan Z'ye"), "ANAHTAR" by letter group and then key word ("Harf Grubuna Göre"); both
// ignore letter case and compress their leaves fully. The primary index is the RecordID one
// ("Orijinal Sıralama"). "INDEXX" leads with ANAHTAR so that a filter on the key word is
// answered from it.
TableDefinition GlossaryDefinition();

} // namespace zolvek
