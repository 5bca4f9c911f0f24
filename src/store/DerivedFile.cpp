// Layout versions of the derived files, kept in SQLite's user_version.
#include "store/DerivedFile.h"

#include <cstdio>

namespace larderly {

std::string SqlQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("''") : std::string(1, c);
    return q + "'";
}

std::string NewerDerivedFileMessage(const TDerivedLayout& layout, const std::string& path,
                                    int version) {
    return "The " + layout.What + " " + path + " was written by a newer version of Larderly " +
           "(layout " + std::to_string(version) + "; this version reads up to layout " +
           std::to_string(layout.Version) + "). Use the newer version, or delete the file so " +
           "that this version builds it again from the recipes; the recipes themselves are " +
           "not affected.";
}

int DerivedFileVersion(SqlConnection& conn, const std::string& schema) {
    SqlStatement v(conn.handle(), "PRAGMA " + schema + ".user_version");
    return v.Step() ? static_cast<int>(v.ColumnInt(0)) : 0;
}

void DetachDerivedFile(SqlConnection& conn, const std::string& schema) {
    sqlite3_exec(conn.handle(), ("DETACH DATABASE " + schema).c_str(), nullptr, nullptr, nullptr);
}

TPausedInsertTrigger::TPausedInsertTrigger(SqlConnection* conn, std::string trigger,
                                           std::function<void()> install,
                                           std::function<void(int64_t after)> indexAfter)
    : conn_(conn), trigger_(std::move(trigger)), install_(std::move(install)),
      indexAfter_(std::move(indexAfter)) {
    if (!conn_ || sqlite3_get_autocommit(conn_->handle())) return;
    {
        // Identifiers only grow (AUTOINCREMENT): every row added from here on is above this.
        SqlStatement m(conn_->handle(), "SELECT COALESCE(MAX(InternalID), 0) FROM main.tblRecipes");
        if (m.Step()) after_ = m.ColumnInt(0);
    }
    conn_->Exec("DROP TRIGGER IF EXISTS temp." + trigger_);
    active_ = true;
}

TPausedInsertTrigger::~TPausedInsertTrigger() {
    if (!active_) return;
    try {
        install_();
    } catch (...) {
    }
}

void TPausedInsertTrigger::Finish() {
    if (!active_) return;
    active_ = false;
    indexAfter_(after_);
    install_();
}

namespace {

// Runs `work` and sets the version in one savepoint: a failed step leaves the file at the
// version before it.
void InSavepoint(SqlConnection& conn, const std::string& schema, int version,
                 const std::function<void(SqlConnection&)>& work) {
    conn.Exec("SAVEPOINT larderly_layout");
    try {
        work(conn);
        conn.Exec("PRAGMA " + schema + ".user_version=" + std::to_string(version));
        conn.Exec("RELEASE larderly_layout");
    } catch (...) {
        sqlite3_exec(conn.handle(), "ROLLBACK TO larderly_layout; RELEASE larderly_layout", nullptr,
                     nullptr, nullptr);
        throw;
    }
}

} // namespace

int AttachDerivedFile(SqlConnection& conn, const std::string& path, const TDerivedLayout& layout) {
    conn.Exec("ATTACH DATABASE " + SqlQuote(path) + " AS " + layout.Schema);
    // Read before anything is set or written, so that a refused file stays as it was.
    const int found = DerivedFileVersion(conn, layout.Schema);
    if (found > layout.Version) {
        DetachDerivedFile(conn, layout.Schema);
        throw EDerivedFileNewer(NewerDerivedFileMessage(layout, path, found));
    }
    // Derived data: no sync, so commits of the tables keep their cost and a lost file is only
    // built again. The journal is a file all the same: held in memory it would grow with every
    // page of an index that a large import rewrites (to hundreds of megabytes). It is emptied
    // at each commit rather than deleted, which saves a save the cost of making and removing a
    // file.
    conn.Exec("PRAGMA " + layout.Schema + ".journal_mode=TRUNCATE");
    conn.Exec("PRAGMA " + layout.Schema + ".synchronous=OFF");
    if (found <= 0) {
        InSavepoint(conn, layout.Schema, layout.Version, layout.Create);
        return found;
    }
    for (int v = found; v < layout.Version; ++v) {
        const std::size_t step = static_cast<std::size_t>(v - 1);
        if (step >= layout.Steps.size() || !layout.Steps[step])
            throw EStoreError("The " + layout.What + " " + path + " has no step from layout " +
                              std::to_string(v) + ".");
        InSavepoint(conn, layout.Schema, v + 1, layout.Steps[step]);
    }
    return found;
}

std::string OpenDerivedFile(SqlConnection& conn, const std::string& path,
                            const TDerivedLayout& layout,
                            const std::function<void(int64_t counter)>& takeOn,
                            const std::function<void()>& drop) {
    std::string problem;
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            AttachDerivedFile(conn, path, layout);
            int64_t counter = -2;
            {
                SqlStatement m(conn.handle(), "SELECT counter FROM " + layout.Schema + ".state");
                if (m.Step()) counter = m.ColumnInt(0);
            }
            takeOn(counter);
            return {};
        } catch (const EDerivedFileNewer& e) {
            // Left as it is for the program that wrote it.
            return e.what();
        } catch (const EStoreBusy& e) {
            // Another process is writing the file: it is sound and in use, so it stays (a
            // file removed under that process's feet fails all its later writes). It is out
            // of use here until the tables are opened again.
            drop();
            DetachDerivedFile(conn, layout.Schema);
            return e.what();
        } catch (const std::exception& e) {
            problem = e.what();
            drop();
            DetachDerivedFile(conn, layout.Schema); // when it failed before it was taken on
            std::remove(path.c_str());
        }
    }
    return problem;
}

namespace {
TRebuildNotice& Notice() {
    static TRebuildNotice notice;
    return notice;
}
} // namespace

TRebuildNotice SetRebuildNotice(TRebuildNotice notice) {
    TRebuildNotice old = std::move(Notice());
    Notice() = std::move(notice);
    return old;
}

std::string RebuildStartedText(const std::string& what, int64_t recipes) {
    return "Rebuilding the " + what + " of " + std::to_string(recipes) +
           (recipes == 1 ? " recipe..." : " recipes...");
}

std::string RebuildEndedText(const std::string& what) {
    return "The " + what + " is rebuilt.";
}

TRebuildNoticeScope::TRebuildNoticeScope(TRebuildNotice notice)
    : outer_(SetRebuildNotice(std::move(notice))) {}

TRebuildNoticeScope::~TRebuildNoticeScope() {
    SetRebuildNotice(std::move(outer_));
}

void RebuildDerivedFile(SqlConnection& conn, const TDerivedLayout& layout,
                        const std::function<void()>& fill) {
    // The index of no recipes is made at once: only a build that takes recipes is told.
    const TRebuildNotice notice = Notice();
    int64_t recipes = 0;
    if (notice.started || notice.ended) {
        SqlStatement n(conn.handle(), "SELECT COUNT(*) FROM main.tblRecipes");
        recipes = n.Step() ? n.ColumnInt(0) : 0;
    }
    if (recipes > 0 && notice.started) notice.started(layout.What, recipes);
    struct Ended {
        const TRebuildNotice& notice;
        const std::string& what;
        bool told;
        bool built = false;
        ~Ended() {
            if (told && notice.ended) notice.ended(what, built);
        }
    } ended{notice, layout.What, recipes > 0};
    // Outside a transaction the build takes the write lock first: a read that turned into a
    // write half-way could fail at once on another program's lock instead of waiting for it.
    // The file stays the one it was (never removed or replaced): another store of this or
    // another program may have it open, and would find its writes refused.
    const bool own = sqlite3_get_autocommit(conn.handle()) != 0;
    conn.Exec(own ? "BEGIN IMMEDIATE" : "SAVEPOINT larderly_rebuild");
    try {
        layout.Create(conn);
        fill();
        conn.Exec(own ? "COMMIT" : "RELEASE larderly_rebuild");
        ended.built = true;
    } catch (...) {
        sqlite3_exec(conn.handle(),
                     own ? "ROLLBACK" : "ROLLBACK TO larderly_rebuild; RELEASE larderly_rebuild",
                     nullptr, nullptr, nullptr);
        throw;
    }
    if (own) ShrinkWhenMostlyFree(conn, layout.Schema);
}

void ShrinkWhenMostlyFree(SqlConnection& conn, const std::string& schema) {
    // The pages of the data dropped stay in the file for later use; once they are most of
    // it (the file of an older, larger layout), the file is written again without them. It
    // stays the same file, so other connections to it are not disturbed. A failure (another
    // reader holding it) leaves the file as it was, which is only larger.
    try {
        int64_t pages = 0, free = 0;
        {
            SqlStatement p(conn.handle(), "PRAGMA " + schema + ".page_count");
            if (p.Step()) pages = p.ColumnInt(0);
            SqlStatement f(conn.handle(), "PRAGMA " + schema + ".freelist_count");
            if (f.Step()) free = f.ColumnInt(0);
        }
        if (pages > 256 && free * 2 > pages) conn.Exec("VACUUM " + schema);
    } catch (const std::exception&) {
    }
}

} // namespace larderly
