// The dataset's filters, locate, lookup and the find operations on the cursor's filters.
#include "db/components/component_errors.h"
#include "db/components/zolvek_dataset.h"
#include "db/cursor/cursor.h"
#include "db/dataset/dataset_errors.h"
#include "db/storage/table_format.h"

#include <algorithm>
#include <cstring>

namespace zolvek {

// ---------------------------------------------------------------- Building and placing filters

TFilter* TZOLVEKDataSet::BuildExpressionFilter(const std::string& text, TFilterOptions options) {
    if (text.empty())
        return nullptr;
    TFilterDefinition definition;
    definition.expression = text;
    definition.case_insensitive = (options & foCaseInsensitive) != 0;
    definition.no_partial_compare = (options & foNoPartialCompare) != 0;
    definition.estimate = true;
    return cursor_->CreateFilter(std::move(definition));
}

TFilter* TZOLVEKDataSet::BuildCallbackFilter() {
    if (!OnFilterRecord())
        return nullptr;
    TFilterDefinition definition;
    definition.callback = [this](void*, size_t size, const uint8_t* record, uint32_t) {
        return FilterCallback(record, size);
    };
    definition.dataset = this;
    // Asked only about the records the expression filter accepts.
    definition.restrict_to_earlier = true;
    definition.estimate = true;
    return cursor_->CreateFilter(std::move(definition));
}

void TZOLVEKDataSet::PlaceFilter(TFilter*& slot, TFilter* filter) {
    bool activate = Filtered() || find_filters_;
    if (activate)
        CursorPosChanged();
    TFilter* old = slot;
    slot = filter;
    try {
        if (old != nullptr)
            cursor_->FreeFilter(old);
        if (filter != nullptr && activate)
            cursor_->ActivateFilter(filter);
    } catch (...) {
        // A filter the cursor could not evaluate does not stay behind.
        if (filter != nullptr) {
            slot = nullptr;
            try {
                cursor_->FreeFilter(filter);
            } catch (...) {
                NoteSwallowedFailure();
            }
        }
        throw;
    }
}

void TZOLVEKDataSet::InstallFilters() {
    if (!filter_text_.empty())
        PlaceFilter(expression_filter_, BuildExpressionFilter(filter_text_, filter_options_));
    if (OnFilterRecord())
        PlaceFilter(callback_filter_, BuildCallbackFilter());
}

void TZOLVEKDataSet::RemoveFilters() {
    // Both stay in their slots, inactive, until they are replaced.
    if (callback_filter_ != nullptr)
        cursor_->DeactivateFilter(callback_filter_);
    if (expression_filter_ != nullptr)
        cursor_->DeactivateFilter(expression_filter_);
}

bool TZOLVEKDataSet::FilterCallback(const uint8_t* record, size_t size) {
    // The handler reads fields through a whole record buffer (calculated fields empty).
    filter_record_.assign(buffer_size_, 0);
    std::memcpy(filter_record_.data(), record, std::min(size, record_size_));
    return RunFilterRecord(filter_record_.data());
}

// ---------------------------------------------------------------- Filter properties

void TZOLVEKDataSet::SetFilterData(const std::string& text, TFilterOptions options) {
    bool filtering = Active() && Filtered();
    if (filtering) {
        CheckBrowseMode();
        // A text that does not parse raises here, before anything is stored.
        if (text != filter_text_ || options != filter_options_)
            PlaceFilter(expression_filter_, BuildExpressionFilter(text, options));
    }
    filter_text_ = text;
    filter_options_ = options;
    if (filtering)
        First();
}

void TZOLVEKDataSet::SetFilter(const std::string& text) {
    SetFilterData(text, filter_options_);
}

void TZOLVEKDataSet::SetFilterOptions(TFilterOptions options) {
    SetFilterData(filter_text_, options);
}

void TZOLVEKDataSet::SetFiltered(bool filtered) {
    if (!Active()) {
        filtered_ = filtered;
        return;
    }
    CheckBrowseMode();
    if (filtered != filtered_) {
        filtered_ = filtered;
        if (filtered) {
            try {
                InstallFilters();
            } catch (...) {
                filtered_ = false;
                try {
                    RemoveFilters();
                } catch (...) {
                    NoteSwallowedFailure();
                }
                throw;
            }
        } else {
            RemoveFilters();
        }
    }
    First();
}

void TZOLVEKDataSet::SetOnFilterRecord(TFilterRecordEvent handler) {
    if (!Active() || !Filtered()) {
        on_filter_record_ = std::move(handler);
        return;
    }
    CheckBrowseMode();
    on_filter_record_ = std::move(handler);
    PlaceFilter(callback_filter_, BuildCallbackFilter());
    First();
}

// ---------------------------------------------------------------- Locate and lookup

bool TZOLVEKDataSet::LocateInTempBuffer(
    const std::string& key_fields, const std::vector<TVariant>& values, TLocateOptions options) {
    CheckBrowseMode();
    CursorPosChanged();
    std::vector<TField*> fields = GetFieldList(key_fields);
    if (fields.size() > kMaxIndexFields)
        DatabaseError(kTooManyLocateFields);
    if (fields.empty())
        DatabaseError(kNoLocateFields);
    uint8_t* buffer = TempBuffer();
    TTempState filtering(*this, dsFilter, buffer);
    cursor_->ClearRecord(buffer);
    ClearCalcFields(buffer);
    for (size_t i = 0; i < fields.size(); ++i) {
        TField& field = *fields[i];
        if (IsBlobType(field.DataType()))
            DatabaseErrorFmt(kBlobFieldInLocate, { field.FieldName() });
        TVariant value;
        if (values.size() > 1 && i < values.size())
            value = values[i];
        else if (values.size() == 1 && i == 0)
            value = values[0];
        if (value.IsNull())
            field.SetData(nullptr);
        else if (field.DataType() == ftLargeint && value.Holds<int64_t>())
            field.SetAsLargeInt(value.Get<int64_t>());
        else
            field.SetValue(value);
    }
    size_t partial_length = 0;
    if ((options & loPartialKey) != 0 && IsStringType(fields.back()->DataType()))
        partial_length = fields.back()->AsString().size();
    std::vector<int32_t> numbers;
    for (TField* field : fields) {
        int32_t number = FieldNumber(cursor_->Fields(), field->FieldName());
        if (number <= 0 || field->FieldKind() != fkData)
            DatabaseErrorFmt(kFieldNotFound, { field->FieldName() });
        numbers.push_back(number);
    }
    return cursor_->LocateRecord(
        numbers, buffer, (options & loCaseInsensitive) != 0, partial_length, buffer);
}

bool TZOLVEKDataSet::ResyncFound() {
    try {
        Resync(rmExact | rmCenter);
    } catch (const EZOLVEKEngineError& error) {
        if (error.Code() != ZOLVEK_NOCURRREC)
            throw;
        return false;
    }
    return true;
}

bool TZOLVEKDataSet::Locate(
    const std::string& key_fields, const std::vector<TVariant>& values, TLocateOptions options) {
    DoBeforeScroll();
    bool found = LocateInTempBuffer(key_fields, values, options) && ResyncFound();
    if (found)
        DoAfterScroll();
    return found;
}

std::vector<TVariant> TZOLVEKDataSet::Lookup(const std::string& key_fields,
    const std::vector<TVariant>& values, const std::string& result_fields) {
    if (!LocateInTempBuffer(key_fields, values, 0))
        return {};
    uint8_t* buffer = TempBuffer();
    GetCalcFields(buffer);
    TTempState reading(*this, dsCalcFields, buffer);
    std::vector<TVariant> result;
    for (TField* field : GetFieldList(result_fields))
        result.push_back(field->Value());
    return result;
}

// ---------------------------------------------------------------- Find

bool TZOLVEKDataSet::FindRecord(bool restart, bool forward) {
    CheckBrowseMode();
    DoBeforeScroll();
    bool switched = !Filtered();
    bool found = false;
    try {
        if (switched) {
            find_filters_ = true;
            InstallFilters();
        }
        if (restart) {
            CursorPosChanged();
            if (forward)
                cursor_->MoveFirst();
            else
                cursor_->MoveLast();
        } else {
            UpdateCursorPos();
        }
        uint8_t* buffer = TempBuffer();
        EngineCode code = forward ? cursor_->ReadNext(buffer) : cursor_->ReadPrior(buffer);
        CursorPosChanged();
        found = code == 0;
    } catch (...) {
        if (switched) {
            find_filters_ = false;
            try {
                RemoveFilters();
            } catch (...) {
                NoteSwallowedFailure();
            }
        }
        throw;
    }
    if (switched) {
        find_filters_ = false;
        RemoveFilters();
    }
    if (found)
        found = ResyncFound();
    if (found)
        DoAfterScroll();
    return found;
}

} // namespace zolvek
