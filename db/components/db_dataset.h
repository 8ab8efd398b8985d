// TZOLVEKDBDataSet: an engine dataset bound to a database of a session by name. It holds the
// database through the session's AcquireDatabase while any of its uses is on (open, table
// check, field list, index list) and lets go with ReleaseDatabase when the last one ends.
// Thread-safety: none; the components' thread. Lifetime: registered with its database while it
// holds it; a database that closes closes the dataset, one that goes away is forgotten.
#pragma once

#include "db/components/zolvek_dataset.h"

#include <cstdint>
#include <string>

namespace zolvek {

class TZOLVEKDatabase;
class TZOLVEKSession;

class TZOLVEKDBDataSet : public TZOLVEKDataSet {
public:
    ~TZOLVEKDBDataSet() override;

    // A database component's name, or the path of a directory of table files. Forward slashes
    // become backslashes; a changed value requires a closed dataset ("Cannot perform this
    // operation on an open dataset") that holds no database ("Cannot perform this operation on
    // an open database").
    const std::string& DatabaseName() const { return database_name_; }
    void SetDatabaseName(const std::string& name);
    // The session; empty means "Default". A changed value requires a closed dataset.
    const std::string& SessionName() const { return session_name_; }
    void SetSessionName(const std::string& name);

    // The database while the dataset holds it, else nullptr.
    TZOLVEKDatabase* Database() const { return database_; }

protected:
    TZOLVEKDBDataSet() = default;

    // The uses for which the dataset holds its database.
    enum TDatabaseUse : uint16_t {
        duOpen = 0,
        duTableCheck = 3,
        duFieldList = 4,
        duIndexList = 5,
    };
    // Turns one use on or off and returns its previous state. The first use acquires the
    // database (session by SessionName, database by DatabaseName), the last one releases it.
    bool SetDatabaseUse(TDatabaseUse use, bool on);
    // Holds a use for a scope and gives it back on every path.
    class TDatabaseUseScope {
    public:
        TDatabaseUseScope(TZOLVEKDBDataSet& dataset, TDatabaseUse use);
        ~TDatabaseUseScope();
        TDatabaseUseScope(const TDatabaseUseScope&) = delete;
        TDatabaseUseScope& operator=(const TDatabaseUseScope&) = delete;

    private:
        TZOLVEKDBDataSet& dataset_;
        TDatabaseUse use_;
        bool was_on_;
    };

    // Marks the field and index definitions out of date (name changes).
    virtual void DefinitionsChanged();

private:
    friend class TZOLVEKDatabase;
    void DatabaseGone();

    std::string database_name_;
    std::string session_name_;
    uint16_t database_use_ = 0;
    TZOLVEKDatabase* database_ = nullptr;
    TZOLVEKSession* session_ = nullptr;
};

} // namespace zolvek
