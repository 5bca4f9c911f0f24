// The backup to CD without windows.
#include "backup/CDBackup.h"

#include "burn/DiscBurner.h"
#include "platform/DayNumber.h"
#include "platform/FileUtil.h"
#include "platform/Settings.h"

#include <stdexcept>

namespace larderly {

namespace {
// The backup job writes its first (here: only) segment under this name, and raises this
// error when the temp folder cannot be made.
constexpr const char* kArchiveName = "recipebackup.001";
constexpr const char* kNoTempFolder = "Unable to create temp folder for backup";
} // namespace

std::string AspiErrorLine() {
    return std::string(CDText::kAspiErrorHead) + CDText::kSupportPage + CDText::kAspiErrorTail;
}

void ConfigureBackupBurner(TDiscBurner& burner) {
    burner.UnderrunProtection = true;
    burner.DoDebug = true;
    burner.ReadSpeed = 0;
    // The write speed stays at 0 (the drive's best); setting it would send a command to a
    // drive that is not selected yet.
    burner.FinalizeDisc = false;
    burner.TestWrite = false;
    burner.ReplaceFile = false;
    burner.PerformOPC = false;
    burner.SetCacheSize(4194304);
    burner.WritePostGap = true;
    burner.DeviceBufferSize = 0;
    burner.DeviceFreeBufferSize = 0;
}

TCDBackup::TCDBackup(std::string programFolder, CDBackupView* view)
    : burner_(std::make_unique<TDiscBurner>()),
      programFolder_(fileutil::IncludeTrailingSeparator(programFolder)), view_(view) {
    ConfigureBackupBurner(*burner_);
    burner_->OnDebugMessage = [this](TSCSIDevice*, const std::string& message, uint8_t mType) {
        if (view_) view_->BurnerDebugMessage(message, mType);
    };
    burner_->OnWriteDone = [this](TDiscBurner*, const std::string& error) {
        // The disc holds the archive now: the copy in temp/ (the whole data set) goes. After
        // a failed burn it stays until the next backup replaces it.
        if (error.empty() && FileExists(ArchivePath())) {
            try {
                RemoveFile(ArchivePath());
            } catch (const std::exception&) {
            }
        }
        if (view_) view_->BurnWriteDone(error);
    };
}

TCDBackup::~TCDBackup() {
    burner_->WaitForBurn();
}

void TCDBackup::SetSleeper(std::function<void(uint32_t)> sleeper) {
    burner_->Sleeper = std::move(sleeper);
}

void TCDBackup::SetDispatcher(UiDispatcher* dispatcher) {
    burner_->SetDispatcher(dispatcher);
}

const std::vector<std::string>& TCDBackup::Drives() const {
    return burner_->DeviceList();
}

int64_t TCDBackup::BytesWritten() const {
    return burner_->BytesWritten();
}
uint32_t TCDBackup::TrackSectors() const {
    return burner_->TrackSectors();
}
bool TCDBackup::Burning() const {
    return burner_->Burning();
}
void TCDBackup::WaitForBurn() {
    burner_->WaitForBurn();
}

bool TCDBackup::InitTransport(const std::string& library) {
    burner_->InitTransport(false, library);
    if (!burner_->ASPIInitialized()) {
        Log(AspiErrorLine());
        return false;
    }
    return true;
}

void TCDBackup::SelectDrive(const std::string& line) {
    burner_->SelectDevice(line);
    Log(CDText::kSelecting + burner_->SelectedDevice());
}

bool TCDBackup::DriveSelected() const {
    return burner_->ASPIInitialized() && burner_->Adapter() != TSCSIDevice::kNone;
}

void TCDBackup::CheckDrive() const {
    if (!DriveSelected()) throw std::runtime_error(CDText::kNoWriter);
}

std::string TCDBackup::ArchivePath() const {
    return TempFolder() + kArchiveName;
}

bool TCDBackup::WriteArchive(const JobRunner& runJob) {
    if (!MakeDirectories(TempFolder())) throw std::runtime_error(kNoTempFolder);
    // An archive of an earlier backup goes without a question, so the job does not ask
    // about overwriting it.
    if (FileExists(ArchivePath())) RemoveFile(ArchivePath());
    return runJob(TempFolder());
}

uint32_t TCDBackup::PrepareDisc() {
    const std::string archive = ArchivePath();
    burner_->ResetImage(65535, 8191);
    int added = burner_->AddFile("/", archive, false);
    if (added != 1 || burner_->FileTable().empty()) {
        // Without the archive the session would hold an empty root folder: a disc that
        // looks like a backup and holds none.
        throw std::runtime_error(CDText::kNotAdded + archive);
    }
    Log(std::string(CDText::kInserting) + "\"" + archive + "\"");
    burner_->PrepareImage(false, "");
    return burner_->TrackSectors();
}

bool TCDBackup::StartBurn() {
    if (!burner_->BurnImage()) return false;
    // The burn runs now and ends through BurnWriteDone whatever happens here: a settings
    // file that cannot be written is logged rather than raised, so that no caller takes
    // the running burn for one that never started.
    try {
        WriteBackupDate(TodayDayNumber());
        WriteBackupToCD(true);
    } catch (const std::exception& e) {
        Log(std::string(CDText::kSettingsNotWritten) + e.what());
    }
    return true;
}

TCDBackup::Outcome TCDBackup::Backup(const JobRunner& runJob) {
    if (!WriteArchive(runJob)) return Outcome::JobFailed;
    uint32_t sectors = PrepareDisc();
    if (view_) view_->BurnStarting(sectors);
    return StartBurn() ? Outcome::BurnStarted : Outcome::BurnNotStarted;
}

std::string TCDBackup::DoneLine(const std::string& error) {
    return error.empty() ? std::string(CDText::kDone) : CDText::kFailed + error;
}

} // namespace larderly
