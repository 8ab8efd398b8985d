#include "db/components/db_dataset.h"

#include "db/components/component_errors.h"
#include "db/components/database_component.h"
#include "db/components/engine_component.h"
#include "db/components/session_component.h"
#include "db/dataset/dataset_errors.h"

namespace zolvek {

TZOLVEKDBDataSet::~TZOLVEKDBDataSet() {
    try {
        Close();
    } catch (...) {
        NoteSwallowedFailure();
    }
    if (database_ != nullptr)
        database_->RemoveDataSet(this);
}

void TZOLVEKDBDataSet::SetDatabaseName(const std::string& name) {
    std::string value = ToBackslashes(name);
    if (value == database_name_)
        return;
    CheckInactive();
    if (database_ != nullptr)
        DatabaseError(kDatabaseOpen);
    database_name_ = value;
    DefinitionsChanged();
}

void TZOLVEKDBDataSet::SetSessionName(const std::string& name) {
    if (name == session_name_)
        return;
    CheckInactive();
    session_name_ = name;
    DefinitionsChanged();
}

void TZOLVEKDBDataSet::DefinitionsChanged() {
    FieldDefs().SetUpdated(false);
}

bool TZOLVEKDBDataSet::SetDatabaseUse(TDatabaseUse use, bool on) {
    uint16_t bit = uint16_t(1u << use);
    bool was_on = (database_use_ & bit) != 0;
    if (was_on == on)
        return was_on;
    if (on) {
        if (database_use_ == 0) {
            TZOLVEKSession& session = TZOLVEKEngine::Engine().RequireSession(session_name_);
            TZOLVEKDatabase& database = session.AcquireDatabase(database_name_);
            database_ = &database;
            session_ = &session;
            database.AddDataSet(this);
        }
        database_use_ |= bit;
        return was_on;
    }
    database_use_ &= uint16_t(~bit);
    if (database_use_ == 0 && database_ != nullptr) {
        TZOLVEKDatabase* database = database_;
        TZOLVEKSession* session = session_;
        database_ = nullptr;
        session_ = nullptr;
        database->RemoveDataSet(this);
        session->ReleaseDatabase(*database);
    }
    return was_on;
}

void TZOLVEKDBDataSet::DatabaseGone() {
    database_ = nullptr;
    session_ = nullptr;
    database_use_ = 0;
}

TZOLVEKDBDataSet::TDatabaseUseScope::TDatabaseUseScope(TZOLVEKDBDataSet& dataset, TDatabaseUse use)
    : dataset_(dataset)
    , use_(use)
    , was_on_(dataset.SetDatabaseUse(use, true)) { }

TZOLVEKDBDataSet::TDatabaseUseScope::~TDatabaseUseScope() {
    if (was_on_)
        return;
    try {
        dataset_.SetDatabaseUse(use_, false);
    } catch (...) {
        NoteSwallowedFailure();
    }
}

} // namespace zolvek
