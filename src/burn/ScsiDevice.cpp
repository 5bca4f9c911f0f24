// TSCSIDevice, the transport side: loading a transport, host adapter inquiry, enumeration of
// the CD and DVD drives, selection with its model quirks, and the execution of one request
// block with its timeout, failure texts and failure lines.
#include "burn/ScsiDevice.h"
#include "burn/PassThrough.h"
#include "burn/ScsiTexts.h"
#include "burn/ScsiTransport.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <thread>

namespace larderly {

namespace {

// Process-wide quirk switches and burn state.
std::atomic<bool> gSlowReadyVendor{false};
std::atomic<bool> gCloseSessionImmediate{true};
std::atomic<int> gCurrentMediaKind{0};

std::function<std::unique_ptr<PassThroughSystem>()>& PassThroughFactory() {
    static std::function<std::unique_ptr<PassThroughSystem>()> factory;
    return factory;
}

// The emulation waits here after its one scan until it is needed.
std::unique_ptr<PassThroughTransport>& ScannedPassThrough() {
    static std::unique_ptr<PassThroughTransport> pt;
    return pt;
}

int ScanPassThrough() {
    auto& pt = ScannedPassThrough();
    if (!pt) {
        auto& f = PassThroughFactory();
        pt = std::make_unique<PassThroughTransport>(f ? f() : nullptr);
    }
    return pt->Scan();
}

// A manual-reset completion event whose address a library receives in SRB_PostProc.
struct EventState {
    std::mutex m;
    std::condition_variable cv;
    bool signalled = false;
};
struct CompletionEvent {
    AspiEvent base; // first member: the library sees only this
    EventState* state;
};
static_assert(std::is_standard_layout_v<CompletionEvent>);

void SignalEvent(AspiEvent* self) {
    auto* ev = reinterpret_cast<CompletionEvent*>(self);
    std::lock_guard<std::mutex> lock(ev->state->m);
    ev->state->signalled = true;
    ev->state->cv.notify_all();
}

std::string Hex(uint32_t v, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*X", digits, v);
    return buf;
}

std::string Trim(const std::string& s) {
    auto b = s.find_first_not_of(' ');
    if (b == std::string::npos) return "";
    auto e = s.find_last_not_of(' ');
    return s.substr(b, e - b + 1);
}

bool ExpectedFailure(uint8_t op) {
    static const uint8_t kOps[] = {0x00, 0x01, 0x04, 0x12, 0x1B, 0x1E, 0x23, 0x35, 0x43,
                                   0x46, 0x51, 0x52, 0x55, 0x5A, 0x5C, 0xB6, 0xBB};
    return std::find(std::begin(kOps), std::end(kOps), op) != std::end(kOps);
}

uint8_t LoadStatus(SRB_ExecSCSICmd& srb) {
    return std::atomic_ref<uint8_t>(srb.SRB_Status).load(std::memory_order_acquire);
}

} // namespace

void SetPassThroughSystemFactory(std::function<std::unique_ptr<PassThroughSystem>()> factory) {
    PassThroughFactory() = std::move(factory);
    ScannedPassThrough().reset();
}

int CurrentMediaKind() {
    return gCurrentMediaKind.load();
}
void SetCurrentMediaKind(int kind) {
    gCurrentMediaKind.store(kind);
}
bool TSCSIDevice::SlowReadyVendor() {
    return gSlowReadyVendor.load();
}
bool TSCSIDevice::CloseSessionImmediate() {
    return gCloseSessionImmediate.load();
}

TSCSIDevice::TSCSIDevice() {
    if (CurrentTransport()) {
        HostAdapterInquiry(0);
        Enumerate();
    }
}

TSCSIDevice::~TSCSIDevice() {
    if (event_) {
        auto* ev = static_cast<CompletionEvent*>(event_);
        delete ev->state;
        delete ev;
    }
}

void TSCSIDevice::Pause(uint32_t ms) {
    if (Sleeper)
        Sleeper(ms);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void TSCSIDevice::Debug(const std::string& message, uint8_t mType) {
    if (OnDebugMessage) OnDebugMessage(this, message, mType);
}

bool TSCSIDevice::ASPIInitialized() const {
    return CurrentTransport() != nullptr;
}

std::string TSCSIDevice::TransportName() {
    ScsiTransport* t = CurrentTransport();
    return t ? t->Name() : std::string{};
}

bool TSCSIDevice::InitTransport(bool PreferSpti, const std::string& AspiLibraryPath) {
    try {
        if (!CurrentTransport()) {
            if (PreferSpti && ScanPassThrough() > 0) {
                InstallTransport(std::move(ScannedPassThrough()));
            } else {
                std::string missing;
                std::unique_ptr<ScsiTransport> lib = LoadAspiLibrary(AspiLibraryPath, &missing);
                if (lib) {
                    InstallTransport(std::move(lib));
                } else if (!missing.empty()) {
                    // A library that loads without its entry points fails the initialisation.
                    Debug(">>> " + missing, 0);
                    return false;
                } else if (ScanPassThrough() > 0) {
                    InstallTransport(std::move(ScannedPassThrough()));
                }
            }
            if (CurrentTransport()) CurrentTransport()->GetSupportInfo();
        }
        if (!CurrentTransport()) return false;
        HostAdapterInquiry(0);
        Enumerate();
        return true;
    } catch (...) {
        return false;
    }
}

void TSCSIDevice::SetCloseAfterCommand(bool on) {
    if (ScsiTransport* t = CurrentTransport()) t->SetCloseAfterCommand(on);
}

bool TSCSIDevice::CloseAfterCommand() const {
    ScsiTransport* t = CurrentTransport();
    return t ? t->CloseAfterCommand() : true;
}

void TSCSIDevice::HostAdapterInquiry(uint8_t adapter, SRB_HAInquiry* out) {
    SRB_HAInquiry q{};
    q.SRB_Cmd = SC_HA_INQUIRY;
    q.SRB_HaId = adapter;
    if (ScsiTransport* t = CurrentTransport()) t->SendCommand(&q);
    if (q.SRB_Status == SS_COMP) {
        hostAdapterCount_ = static_cast<int8_t>(q.HA_Count);
        if (hostAdapterCount_ == 0) hostAdapterCount_ = 7;
    } else {
        hostAdapterCount_ = static_cast<int8_t>(0xFF);
    }
    if (out) *out = q;
}

char TSCSIDevice::DriveLetterOf(uint8_t adapter, uint8_t target, uint8_t lun) {
    ScsiTransport* t = CurrentTransport();
    return t ? t->DriveLetter(adapter, target, lun) : 0;
}

void TSCSIDevice::Enumerate() {
    deviceList_.clear();
    uint8_t sa = adapter_, st = target_, sl = lun_;
    lun_ = 0;
    if (DoDebug) Debug(">>> " + TransportName(), 1);
    for (int a = 0; a < hostAdapterCount_; ++a) {
        SRB_HAInquiry q{};
        HostAdapterInquiry(static_cast<uint8_t>(a), &q);
        if (DoDebug) {
            std::string manager(reinterpret_cast<const char*>(q.HA_ManagerId), 16);
            std::string ident(reinterpret_cast<const char*>(q.HA_Identifier),
                              strnlen(reinterpret_cast<const char*>(q.HA_Identifier), 16));
            Debug(">>> " + manager + " (" + Trim(ident) + ")", 1);
        }
        for (int t = 0; t < 8; ++t) {
            for (int l = 0; l < 8; ++l) {
                adapter_ = static_cast<uint8_t>(a);
                target_ = static_cast<uint8_t>(t);
                lun_ = static_cast<uint8_t>(l);
                inquiry_.fill(0);
                Inquiry();
                uint8_t type = inquiry_[0];
                if (type != 5 && type != 4) continue;
                char letter = DriveLetterOf(adapter_, target_, lun_);
                std::string line =
                    std::to_string(a) + ":" + std::to_string(t) + ":" + std::to_string(l) + ",";
                line += letter ? std::string(1, letter) + ":" : std::string("?:");
                line += " ";
                for (int i = 8; i < 36; ++i) {
                    // A control byte (a NUL above all) would cut the line short wherever it
                    // is passed on; it shows as a blank.
                    char c = static_cast<char>(inquiry_[i]);
                    line += static_cast<uint8_t>(c) < 0x20 ? ' ' : c;
                }
                if (type == 4) line += texts::kNotSupported;
                deviceList_.push_back(line);
            }
        }
    }
    adapter_ = sa;
    target_ = st;
    lun_ = sl;
    lastError_.clear();
}

void TSCSIDevice::ClearSelection() {
    adapter_ = target_ = lun_ = kNone;
    selectedDevice_.clear();
    deviceDescription_.clear();
    deviceType_ = 0x7F;
}

void TSCSIDevice::SelectDevice(const std::string& line) {
    if (line.size() < 5) {
        ClearSelection();
        if (!line.empty()) Debug(texts::kInvalidDevice, 0);
        return;
    }
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (!digit(line[0]) || !digit(line[2]) || !digit(line[4])) {
        Debug(texts::kInvalidDevice, 0);
        ClearSelection();
        return;
    }
    adapter_ = static_cast<uint8_t>(line[0] - '0');
    target_ = static_cast<uint8_t>(line[2] - '0');
    lun_ = static_cast<uint8_t>(line[4] - '0');
    selectedDevice_ = line;
    deviceType_ = 0x7F;
    ProbeCapabilities();
    if (Inquiry()) {
        deviceType_ = inquiry_[0];
        for (int i = 8; i < 56; ++i)
            if (inquiry_[i] < 0x20) inquiry_[i] = ' ';
        auto field = [this](int from, int n) {
            return std::string(reinterpret_cast<const char*>(&inquiry_[from]), n);
        };
        deviceDescription_ = field(8, 8) + " " + field(16, 16) + " " + field(32, 4);
    } else {
        deviceDescription_ = lastError_;
    }
    if (deviceType_ != 5 && deviceType_ != 4) {
        Debug(texts::kInvalidDevice, 0);
        ClearSelection();
        return;
    }
    SetQuirks();
    if (OnDeviceChange) OnDeviceChange(this);
    ProbeWriteTypes();
}

void TSCSIDevice::SetQuirks() {
    std::string vendorRaw(reinterpret_cast<const char*>(&inquiry_[8]), 8);
    std::string productRaw(reinterpret_cast<const char*>(&inquiry_[16]), 16);
    std::string vendor = Trim(vendorRaw);
    std::string product = Trim(productRaw);
    underrunSafeModel_ = product == "CD-W512EB";
    linkSizeModel_ = product == "CRX175E" || product == "CD-RW  CRX800E";
    std::string vendorKey = vendor.size() < 3 ? std::string(5, ' ') : vendor;
    gSlowReadyVendor = product.rfind("UJDA", 0) == 0 || vendorKey.rfind("TDK", 0) == 0;
    gCloseSessionImmediate = product != "CDRW321040X";
    slowReadyModel_ = productRaw == "DVD-RW  DVR-103 " || productRaw == "DVD-RW  DVR-104 ";
    if (slowReadyModel_) gCloseSessionImmediate = true;
}

void TSCSIDevice::ExecuteRequest(SRB_ExecSCSICmd& srb, uint32_t timeoutMs) {
    lastError_.clear();
    busy_ = false;
    lastHaStat_ = 0;
    sense_.fill(0);
    ScsiTransport* transport = CurrentTransport();
    if (!transport || adapter_ == kNone) return;

    // One completion event serves every request of this device; it lives as long as the
    // device, so a library that signals after the status is already visible finds it alive.
    CompletionEvent* event = nullptr;
    EventState* state = nullptr;
    if (srb.SRB_Flags & SRB_EVENT_NOTIFY) {
        if (!event_) event_ = new CompletionEvent{{&SignalEvent}, new EventState};
        event = static_cast<CompletionEvent*>(event_);
        state = event->state;
        std::lock_guard<std::mutex> lock(state->m);
        state->signalled = false;
        srb.SRB_PostProc = event;
    } else {
        srb.SRB_PostProc = nullptr;
    }
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_HaId = adapter_;
    srb.SRB_Target = target_;
    srb.SRB_Lun = lun_;
    srb.SRB_SenseLen = 24;
    srb.CDBByte[1] = static_cast<uint8_t>((srb.CDBByte[1] & 0x1F) | (lun_ << 5));
    uint32_t effective = std::max<uint32_t>(timeoutMs, 10000);

    transport->SendCommand(&srb);
    bool signalled = true;
    if (LoadStatus(srb) == SS_PENDING && event) {
        std::unique_lock<std::mutex> lock(state->m);
        signalled = state->cv.wait_for(lock, std::chrono::milliseconds(effective),
                                       [state] { return state->signalled; });
    }
    uint8_t status = LoadStatus(srb);
    if (status == SS_PENDING) {
        SRB_Abort abort{};
        abort.SRB_Cmd = SC_ABORT_SRB;
        abort.SRB_HaId = adapter_;
        abort.SRB_ToAbort = &srb;
        transport->SendCommand(&abort);
        if (event && !signalled) {
            // The library may still end the request after the abort; give it a moment so
            // that it does not signal an event that is gone.
            std::unique_lock<std::mutex> lock(state->m);
            signalled = state->cv.wait_for(lock, std::chrono::milliseconds(2000),
                                           [state] { return state->signalled; });
        }
        srb.SRB_Status = SS_ERR;
        srb.SRB_HaStat = HASTAT_TIMEOUT;
        status = SS_ERR;
    }
    if (status != SS_PENDING && status != SS_COMP) {
        lastHaStat_ = srb.SRB_HaStat;
        DecodeFailure(srb);
    }
    srb.SRB_PostProc = nullptr;
    if (event && !signalled) {
        // The library still holds the address of an aborted request's event and may signal
        // it later: that event is left to it and the next request gets a new one.
        event_ = nullptr;
    }
}

void TSCSIDevice::DecodeFailure(SRB_ExecSCSICmd& srb) {
    std::string text;
    if (srb.SRB_Status == SS_ERR) {
        text = ErrorStatusText(srb.SRB_HaStat, srb.SRB_TargStat);
        if (srb.SRB_HaStat == 0 && srb.SRB_TargStat == STATUS_BUSY) busy_ = true;
    } else {
        text = AspiStatusText(srb.SRB_Status);
    }
    if (text == "CHECK CONDITION") text = SenseKeyText(srb.SenseArea);
    lastError_ = text;
    std::memcpy(sense_.data(), srb.SenseArea, ASPI_SENSE_LEN);
    if (sense_[7] != 0) lastError_ += " (" + AdditionalSenseText(sense_[12], sense_[13]) + ")";
    if (ScsiTransport* t = CurrentTransport(); t && srb.SRB_HaStat != 0) {
        if (std::string cause = t->LastFailureCause(); !cause.empty())
            lastError_ += " (" + cause + ")";
    }
    if (DoDebug && !quietFailures_ && !ExpectedFailure(srb.CDBByte[0]) &&
        !(sense_[12] == 0x04 && sense_[13] == 0x08))
        Debug(FailureLine(srb), 0);
}

std::string TSCSIDevice::FailureLine(const SRB_ExecSCSICmd& srb) const {
    std::string s = "<<< ";
    s += CommandName(srb.CDBByte[0]);
    s += " (" + Hex(srb.CDBByte[0], 2) + ") {" + Hex(srb.SRB_Flags, 2) + "|" +
         Hex(srb.SRB_CDBLen, 2) + "} - ";
    s += std::to_string(srb.SRB_HaId) + ":" + Hex(srb.SRB_Target & 0x0F, 1) + ":" +
         std::to_string(srb.SRB_Lun);
    s += " <" + Hex(srb.SRB_Status, 2) + ">";
    s += " [" + Hex(srb.SRB_BufLen, 5) + "]";
    s += " ";
    for (int i = 1; i <= 15; ++i)
        s += Hex(srb.CDBByte[i], 2) + " ";
    s += " |";
    if (srb.SRB_BufPointer) {
        uint32_t n = std::min<uint32_t>(srb.SRB_BufLen, 257);
        for (uint32_t i = 0; i < n; ++i)
            s += Hex(srb.SRB_BufPointer[i], 2) + " ";
    }
    s += "= " + Hex(srb.SRB_HaStat, 2) + " " + Hex(srb.SRB_TargStat, 2) + " " + Hex(sense_[0], 2) +
         " " + Hex(sense_[2], 2) + " ASC:" + Hex(sense_[12], 2) + ",ASQ:" + Hex(sense_[13], 2) +
         " " + lastError_;
    return s;
}

} // namespace larderly
