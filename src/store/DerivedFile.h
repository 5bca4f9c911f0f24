// The bookkeeping every derived file beside the tables shares (the search index, the
// ingredient index, any later one): attached to the store's connection under its own schema
// name, its layout numbered in SQLite's user_version. A new file gets the current layout; an
// older one is brought up one version at a time, each step by its own function in its own
// savepoint; a file written by a newer program is refused and left exactly as it was. Only
// the derived file is written: the four table files never are. A derived file is written
// without a sync and with a journal file that each commit empties.
#pragma once

#include "store/Sqlite.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace larderly {

struct TDerivedLayout {
    std::string Schema; // the name it is attached under ("search")
    std::string What;   // what it is, for messages ("search index")
    int Version = 1;    // the layout this program writes
    // Makes the current layout in a new (empty) file.
    std::function<void(SqlConnection&)> Create;
    // Steps[v - 1] turns a file of version v into version v + 1, for v from 1 to Version - 1.
    // A step whose data cannot be carried over drops it and leaves the file to be built again
    // from the tables (it says so by leaving the file's record of the tables out of step).
    std::vector<std::function<void(SqlConnection&)>> Steps;
};

// A derived file written by a newer program: the message names the file and what to do.
class EDerivedFileNewer : public EStoreError {
public:
    using EStoreError::EStoreError;
};

// The text of that refusal.
std::string NewerDerivedFileMessage(const TDerivedLayout& layout, const std::string& path,
                                    int version);

// Attaches the file at `path` under the layout's schema name and brings its layout to the
// current version (version 0, a new or empty file, is created; each older version is stepped
// up, the user_version following each step). Gives the version the file had. A file of a
// newer version is detached untouched and raises EDerivedFileNewer; other failures raise
// EStoreError with the file still attached (the caller detaches and decides).
int AttachDerivedFile(SqlConnection& conn, const std::string& path, const TDerivedLayout& layout);

// Takes a derived file into use: attaches it as above, reads its record of the tables' change
// counter (its `state` table) and hands that to `takeOn`. A damaged or foreign file is
// removed and made afresh, once (`drop` first undoes what `takeOn` began); a file from a newer
// program is left as it is. Gives "" when the file is in use, else what keeps it out of use.
std::string OpenDerivedFile(SqlConnection& conn, const std::string& path,
                            const TDerivedLayout& layout,
                            const std::function<void(int64_t counter)>& takeOn,
                            const std::function<void()>& drop);

// Told when a build of a derived file from the tables starts (with the number of recipes it
// takes) and when it has ended (built, or given up on a failure), in any store of this
// process, so that a user waiting for it knows why. `what` names the file as
// TDerivedLayout::What does ("search index").
struct TRebuildNotice {
    std::function<void(const std::string& what, int64_t recipes)> started;
    std::function<void(const std::string& what, bool built)> ended;
};
// Installs `notice` for every later build; gives the one it replaces.
TRebuildNotice SetRebuildNotice(TRebuildNotice notice);
// "Rebuilding the search index of 250000 recipes..." and "The search index is rebuilt.".
std::string RebuildStartedText(const std::string& what, int64_t recipes);
std::string RebuildEndedText(const std::string& what);

// Installs a notice for its lifetime (a job that shows its own progress takes the builds it
// causes there), then puts back the one it replaced.
class TRebuildNoticeScope {
public:
    explicit TRebuildNoticeScope(TRebuildNotice notice);
    ~TRebuildNoticeScope();
    TRebuildNoticeScope(const TRebuildNoticeScope&) = delete;
    TRebuildNoticeScope& operator=(const TRebuildNoticeScope&) = delete;

private:
    TRebuildNotice outer_;
};

// Builds a derived file (attached under the layout's schema) again from the tables, told
// through the rebuild notice when there are recipes to take: its tables are made afresh
// (layout.Create), `fill` writes every row, and the whole build commits or rolls back as one
// (a savepoint inside a transaction at work). A build outside a transaction then gives the
// file back the room its old data took, when that is most of it.
void RebuildDerivedFile(SqlConnection& conn, const TDerivedLayout& layout,
                        const std::function<void()>& fill);
// Writes the file of `schema` again without its free pages when they are more than half of
// it; never raises. Outside a transaction only.
void ShrinkWhenMostlyFree(SqlConnection& conn, const std::string& schema);

// Detaches the schema; never raises.
void DetachDerivedFile(SqlConnection& conn, const std::string& schema);

// The user_version of an attached schema.
int DerivedFileVersion(SqlConnection& conn, const std::string& schema);

// Many recipes added in one transaction (an import) to an index kept in step by an insert
// trigger. Indexed one by one, each added row would make the index write out its pending words
// (it does at every statement that writes it through a trigger), which makes a large import
// several times slower. While a TPausedInsertTrigger lives in an open transaction, the trigger
// is dropped and added rows are left unindexed; Finish, called before the commit, hands the
// rows added meanwhile (identifiers above the largest one when it began) to `indexAfter` in
// one go and puts the trigger back. Without Finish the transaction is meant to roll back,
// which takes back everything, the dropped trigger included; should the transaction have
// ended already, the trigger is put back when this goes. Outside a transaction, or with no
// index (`conn` null), it does nothing and the trigger indexes each row.
class TPausedInsertTrigger {
public:
    TPausedInsertTrigger(SqlConnection* conn, std::string trigger, std::function<void()> install,
                         std::function<void(int64_t after)> indexAfter);
    ~TPausedInsertTrigger();
    TPausedInsertTrigger(const TPausedInsertTrigger&) = delete;
    TPausedInsertTrigger& operator=(const TPausedInsertTrigger&) = delete;
    void Finish();
    // Whether the trigger is paused: rows added now are left for Finish.
    bool Active() const { return active_; }
    // The largest identifier when it began: the rows above it are the ones added.
    int64_t After() const { return after_; }

private:
    SqlConnection* conn_;
    std::string trigger_;
    std::function<void()> install_;
    std::function<void(int64_t)> indexAfter_;
    int64_t after_ = 0;
    bool active_ = false;
};

// A string as an SQL literal.
std::string SqlQuote(const std::string& s);

} // namespace larderly
