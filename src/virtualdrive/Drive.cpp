/* The simulated drive: set-up from the configuration, command dispatch, sense data, the
 * image file and the ".state" record of the disc. */
#include "virtualdrive/Drive.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace larderly::vdrive {

namespace {

void Warn(const std::string& text) {
    std::fprintf(stderr, "libvirtualdrive: %s\n", text.c_str());
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

std::array<uint8_t, 18> Outcome::SenseBytes() const {
    std::array<uint8_t, 18> s{};
    s[0] = 0x70; // current error, fixed format
    s[2] = sense.key & 0x0F;
    s[7] = 10; // additional sense length: bytes 8 to 17
    s[12] = sense.asc;
    s[13] = sense.ascq;
    return s;
}

Drive::Drive(const DriveConfig& config) : config_(config) {
    statePath_ = config.imagePath + ".state";
    faults_ = ParseFaults(config.faults);
    for (const std::string& item : faults_.unknown) {
        Warn("fault '" + item + "' not understood, ignored");
    }
    unreadable_ = {0x02, 0x3A, 0x00}; // MEDIUM NOT PRESENT

    const std::string token = config.mediaToken.empty() ? "cdr" : config.mediaToken;
    const MediaInfo* media = FindMedia(token);
    uint32_t capacity = media != nullptr ? media->defaultCapacity : 0;
    if (!config.capacity.empty()) {
        uint32_t value = 0;
        if (ParseNumber(config.capacity, value) && value > 0 && value <= 0x7FFFFFFF) {
            capacity = value;
        } else {
            Warn("capacity '" + config.capacity + "' is not a number of sectors, ignored");
        }
    }

    if (std::optional<std::string> text = ReadWholeFile(statePath_)) {
        disc_ = Disc::Parse(*text);
        if (!disc_) {
            // The record of what is on the disc is lost: refuse the disc rather than
            // offer it as blank and let the next burn overwrite its sessions.
            Warn("disc state '" + statePath_ + "' is damaged; the disc cannot be read");
            unreadable_ = {0x03, 0x30, 0x01}; // CANNOT READ MEDIUM - UNKNOWN FORMAT
            stateDamaged_ = true;
        } else if (media != nullptr && &disc_->Info() != media) {
            Warn("the disc in '" + config.imagePath + "' is " + std::string(disc_->Info().token) +
                 "; LARDERLY_VDRIVE_MEDIA is not applied");
        }
    } else if (media == nullptr) {
        Warn("medium '" + token + "' unknown");
        unreadable_ = {0x02, 0x30, 0x00}; // INCOMPATIBLE MEDIUM INSTALLED
    } else {
        disc_.emplace(*media, capacity);
    }

    if (disc_) {
        imageFd_ = ::open(config.imagePath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (imageFd_ < 0) {
            Warn("image '" + config.imagePath + "' cannot be opened: " + std::strerror(errno));
            disc_.reset();
        }
    }
    if (faults_.noMedia) {
        disc_.reset();
        unreadable_ = {0x02, 0x3A, 0x00};
    }
    mediaEvent_ = disc_ ? 2 : 0; // NewMedia
    ResetWriteParameters();
    readSpeed_ = CurrentMedia().maxReadSpeed;
    writeSpeed_ = CurrentMedia().WriteSpeeds().front();
}

Drive::~Drive() {
    // Blocks written since the last save are recorded now; a disc never written leaves no
    // state.
    if (unsavedBlocks_ > 0) {
        SaveState();
    }
    if (imageFd_ >= 0) {
        ::close(imageFd_);
    }
}

const MediaInfo& Drive::CurrentMedia() const {
    return disc_ ? disc_->Info() : DefaultMedia();
}

uint16_t Drive::CurrentProfile() const {
    return disc_ && !trayOpen_ ? disc_->Profile() : 0;
}

bool Drive::SaveState() {
    if (!disc_ || stateDamaged_) {
        return true;
    }
    unsavedBlocks_ = 0;
    const std::string temp = statePath_ + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << disc_->Serialize();
        out.flush();
        if (!out) {
            Warn("disc state '" + statePath_ + "' cannot be written");
            return false;
        }
    }
    if (std::rename(temp.c_str(), statePath_.c_str()) != 0) {
        Warn("disc state '" + statePath_ + "' cannot be replaced");
        return false;
    }
    return true;
}

bool Drive::WriteSectors(uint32_t lba, const uint8_t* data, uint32_t count) {
    size_t left = static_cast<size_t>(count) * 2048;
    off_t offset = static_cast<off_t>(lba) * 2048;
    while (left > 0) {
        const ssize_t n = ::pwrite(imageFd_, data, left, offset);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        left -= static_cast<size_t>(n);
        offset += n;
    }
    return true;
}

bool Drive::ReadSectors(uint32_t lba, uint8_t* data, uint32_t count) {
    size_t left = static_cast<size_t>(count) * 2048;
    off_t offset = static_cast<off_t>(lba) * 2048;
    while (left > 0) {
        const ssize_t n = ::pread(imageFd_, data, left, offset);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            std::memset(data, 0, left); // never written: zeros
            break;
        }
        data += n;
        left -= static_cast<size_t>(n);
        offset += n;
    }
    return true;
}

Outcome Drive::Check(uint8_t key, uint8_t asc, uint8_t ascq) {
    Outcome o;
    o.kind = Outcome::Kind::CheckCondition;
    o.sense = {key, asc, ascq};
    return o;
}

Outcome Drive::Reply(const Request& r, const Bytes& answer, uint32_t allocation) {
    Outcome o;
    const size_t n =
        std::min<size_t>({answer.size(), allocation, r.data != nullptr ? r.dataLength : 0u});
    if (n > 0) {
        std::memcpy(r.data, answer.data(), n);
    }
    o.transferred = static_cast<uint32_t>(n);
    return o;
}

std::optional<Outcome> Drive::MediumAbsent() {
    if (trayOpen_) {
        return Check(0x02, 0x3A, 0x02); // MEDIUM NOT PRESENT - TRAY OPEN
    }
    if (!disc_) {
        return Check(unreadable_.key, unreadable_.asc, unreadable_.ascq);
    }
    return std::nullopt;
}

std::optional<Outcome> Drive::PollFault() {
    ++mediumCommands_;
    if (mediumCommands_ <= faults_.becomingReady) {
        return Check(0x02, 0x04, 0x01); // BECOMING READY
    }
    if (longPolls_ > 0) {
        --longPolls_;
        return Check(0x02, 0x04, 0x08); // LONG WRITE IN PROGRESS
    }
    return std::nullopt;
}

void Drive::ArmLongSync() {
    longPolls_ = std::max(longPolls_, faults_.longSync);
}

Outcome Drive::Execute(const Request& r) {
    ++commands_;
    if (commands_ <= faults_.busy) {
        Outcome o;
        o.kind = Outcome::Kind::Busy;
        return o;
    }
    Outcome o;
    switch (r.cdb[0]) {
    case 0x00:
        o = TestUnitReady();
        break;
    case 0x03:
        o = RequestSense(r);
        break;
    case 0x04:
        o = FormatUnit(r);
        break;
    case 0x12:
        o = Inquiry(r);
        break;
    case 0x1B:
        o = StartStop(r);
        break;
    case 0x1E:
        o = PreventAllow(r);
        break;
    case 0x25:
        o = ReadCapacity(r);
        break;
    case 0x28:
        o = Read10(r);
        break;
    case 0x2A:
        o = Write10(r);
        break;
    case 0x35:
        o = SynchronizeCache(r);
        break;
    case 0x43:
        o = ReadToc(r);
        break;
    case 0x46:
        o = GetConfiguration(r);
        break;
    case 0x4A:
        o = GetEventStatus(r);
        break;
    case 0x51:
        o = ReadDiscInformation(r);
        break;
    case 0x52:
        o = ReadTrackInformation(r);
        break;
    case 0x53:
        o = ReserveTrack(r);
        break;
    case 0x54:
        o = SendOpc();
        break;
    case 0x55:
        o = ModeSelect(r);
        break;
    case 0x5A:
        o = ModeSense(r);
        break;
    case 0x5B:
        o = CloseTrackSession(r);
        break;
    case 0x5C:
        o = ReadBufferCapacity(r);
        break;
    case 0xA1:
        o = Blank(r);
        break;
    case 0xB6:
        o = SetStreaming(r);
        break;
    case 0xBB:
        o = SetCdSpeed(r);
        break;
    case 0xBF:
        o = SendDvdStructure(r);
        break;
    default:
        o = Check(0x05, 0x20, 0x00);
        break; // INVALID COMMAND OPERATION CODE
    }
    if (o.kind == Outcome::Kind::CheckCondition) {
        pendingSense_ = o.sense;
    }
    return o;
}

// --- Basic unit commands -------------------------------------------------------------------

Outcome Drive::TestUnitReady() {
    ++testUnitReadys_;
    if (testUnitReadys_ <= faults_.notReady) {
        return Check(0x02, 0x3A, 0x00);
    }
    if (auto absent = MediumAbsent()) {
        return *absent;
    }
    if (auto fault = PollFault()) {
        return *fault;
    }
    return Good();
}

Outcome Drive::RequestSense(const Request& r) {
    Outcome state;
    if (pendingSense_) {
        state.sense = *pendingSense_;
        pendingSense_.reset();
    } else if (auto absent = MediumAbsent()) {
        state = *absent;
    } else if (auto fault = PollFault()) {
        state = *fault;
    }
    const std::array<uint8_t, 18> bytes = state.SenseBytes();
    return Reply(r, Bytes(bytes.begin(), bytes.end()), r.cdb[4]);
}

Outcome Drive::StartStop(const Request& r) {
    const bool start = (r.cdb[4] & 0x01) != 0;
    const bool loadEject = (r.cdb[4] & 0x02) != 0;
    if (!loadEject) {
        return Good(); // spin up or down: nothing to do
    }
    if (start) {
        if (trayOpen_) {
            trayOpen_ = false;
            mediaEvent_ = disc_ ? 2 : 0; // NewMedia
        }
        return Good();
    }
    if (preventRemoval_) {
        return Check(0x05, 0x53, 0x02); // MEDIUM REMOVAL PREVENTED
    }
    if (!trayOpen_) {
        trayOpen_ = true;
        testNwa_.reset();
        mediaEvent_ = 3; // MediaRemoval
    }
    return Good();
}

Outcome Drive::PreventAllow(const Request& r) {
    preventRemoval_ = (r.cdb[4] & 0x01) != 0;
    return Good();
}

} // namespace larderly::vdrive
