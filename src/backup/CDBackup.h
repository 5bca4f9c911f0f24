// The backup to CD without windows: the disc burner with its settings, the drive list and
// selection, the archive written into the program's temp folder by the backup job, the
// one-file disc image and the start of the burn. The CD backup dialog (TfmCDBurn) and the
// command line drive it.
//
// The burner is held behind this class so that its users need not include the burn
// engine's headers next to the archive engine's (both declare file open modes).
#pragma once

#include "burn/UiDispatcher.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace larderly {

// Texts of the CD backup.
namespace CDText {
inline constexpr const char* kCaption = "Backup to CD";
inline constexpr const char* kNoWriter = "No CD Writer found";
inline constexpr const char* kComplete = "Backup is complete";
inline constexpr const char* kSelecting = ">>> SELECTING ";
inline constexpr const char* kInserting = ">>> INSERTING FILE ";
inline constexpr const char* kFailed = ">>> Backup Failed, ";
inline constexpr const char* kDone = ">>> Backup DONE, Successful!";
inline constexpr const char* kSupportPage = "https://larderly.org/support";
inline constexpr const char* kAspiErrorHead =
    ">>> Error initializing ASPI Layer, Please visit support page, ";
inline constexpr const char* kAspiErrorTail = " for more information";
// The archive is in the temp folder but the disc image would not take it.
inline constexpr const char* kNotAdded = "The backup archive could not be put on the disc: ";
// The settings file could not take the backup's date.
inline constexpr const char* kSettingsNotWritten = ">>> The backup date could not be saved: ";
} // namespace CDText

class TDiscBurner;

// What a CD backup tells whoever shows it (the CD backup dialog, the command line).
class CDBackupView {
public:
    virtual ~CDBackupView() = default;
    // A line the backup writes itself (">>> SELECTING ...", the ASPI error line).
    virtual void BackupLog(const std::string& line) = 0;
    // The burner's lines (text, message type); may run on the write thread.
    virtual void BurnerDebugMessage(const std::string& message, uint8_t mType) = 0;
    // The image is laid out and the burn starts next (the dialog sets its progress bar and
    // timer here).
    virtual void BurnStarting(uint32_t /*trackSectors*/) {}
    // The end of the burn, with the error text ("" when it succeeded). Runs through the
    // dispatcher when one is set, on the write thread otherwise; runs at once on the
    // caller's thread when the burn ends before it started.
    virtual void BurnWriteDone(const std::string& error) = 0;
};

// The whole ASPI error line.
std::string AspiErrorLine();

// Sets a burner up the way the CD backup burns: underrun protection and debug lines on,
// drive speeds left to the drive, the disc left open for the next session, no test write,
// no replaced files, no power calibration, a 4 MiB cache, post-gap padding on.
void ConfigureBackupBurner(TDiscBurner& burner);

class TCDBackup {
public:
    // Runs the backup job into a folder ending in "/"; true when the archive was written.
    using JobRunner = std::function<bool(const std::string& folder)>;

    enum class Outcome {
        JobFailed,      // the archive job returned false; nothing was burned
        BurnNotStarted, // the burn ended before it started (BurnWriteDone has run)
        BurnStarted,    // the write thread runs; BurnWriteDone follows
    };

    // `programFolder` holds temp/. `view` (may be null) hears of the backup's steps and
    // must outlive the backup or be replaced first.
    TCDBackup(std::string programFolder, CDBackupView* view);
    ~TCDBackup(); // waits for a running burn
    TCDBackup(const TCDBackup&) = delete;
    TCDBackup& operator=(const TCDBackup&) = delete;

    // Null: nobody hears of the backup any more.
    void SetView(CDBackupView* view) { view_ = view; }
    void SetDispatcher(UiDispatcher* dispatcher);

    TDiscBurner& Burner() { return *burner_; }
    // Where the burner's waits for the drive go (a plain sleep when empty); tests let them
    // pass at once.
    void SetSleeper(std::function<void(uint32_t ms)> sleeper);

    // Loads a drive transport (`library` empty: the usual search) and lists the drives.
    // False, after logging the ASPI error line, when no transport could be loaded.
    bool InitTransport(const std::string& library = {});
    const std::vector<std::string>& Drives() const;
    // Selects the drive named by a drive list line and logs ">>> SELECTING " with the
    // burner's name of the selected drive.
    void SelectDrive(const std::string& line);
    bool DriveSelected() const;

    // Raises "No CD Writer found" when no drive is selected.
    void CheckDrive() const;

    // The temp folder ("temp/" in the program folder) and the archive written there.
    std::string TempFolder() const { return programFolder_ + "temp/"; }
    std::string ArchivePath() const;

    // Creates the temp folder (raises "Unable to create temp folder for backup" when it
    // cannot), deletes an archive left there by an earlier backup without asking, and runs
    // the job into the temp folder.
    bool WriteArchive(const JobRunner& runJob);

    // Puts the archive alone into the root of a fresh image, logs the ">>> INSERTING FILE"
    // line and lays the image out. Gives the track's sectors. Raises when the archive cannot
    // be added, so that an empty session is never burned.
    uint32_t PrepareDisc();

    // Starts the burn; once it has started, writes today's date and the CD target to the
    // settings file ("BDate", "ToCD"). True when it started.
    bool StartBurn();

    // Every step after the drive check: archive, image, burn (the view hears BurnStarting
    // with the track's sectors just before the burn starts).
    Outcome Backup(const JobRunner& runJob);

    // Progress of the running burn: bytes the drive has taken, and the track's sectors.
    int64_t BytesWritten() const;
    uint32_t TrackSectors() const;
    bool Burning() const;
    void WaitForBurn();

    // The log line for the end of a burn: ">>> Backup Failed, " + error, or the success line.
    static std::string DoneLine(const std::string& error);

private:
    std::unique_ptr<TDiscBurner> burner_;
    std::string programFolder_;
    CDBackupView* view_ = nullptr;

    void Log(const std::string& line) {
        if (view_) view_->BackupLog(line);
    }
};

} // namespace larderly
