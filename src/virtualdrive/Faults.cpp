/* Reads the fault list of LARDERLY_VDRIVE_FAULTS. */
#include "virtualdrive/Faults.h"

namespace larderly::vdrive {

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    return s;
}

} // namespace

bool ParseNumber(std::string_view s, uint32_t& out) {
    if (s.empty()) {
        return false;
    }
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        s.remove_prefix(2);
        base = 16;
    }
    if (s.empty()) {
        return false;
    }
    uint64_t value = 0;
    for (char c : s) {
        int digit = -1;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        }
        if (digit < 0) {
            return false;
        }
        value = value * base + digit;
        if (value > 0xFFFFFFFFu) {
            return false;
        }
    }
    out = static_cast<uint32_t>(value);
    return true;
}

Faults ParseFaults(std::string_view text) {
    Faults f;
    while (!text.empty()) {
        const size_t comma = text.find(',');
        std::string_view item = Trim(text.substr(0, comma));
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        if (item.empty()) {
            continue;
        }
        const size_t eq = item.find('=');
        const std::string_view key = Trim(item.substr(0, eq));
        uint32_t value = 0;
        const bool hasValue =
            eq != std::string_view::npos && ParseNumber(Trim(item.substr(eq + 1)), value);
        bool ok = true;
        if (key == "no-media" && eq == std::string_view::npos) {
            f.noMedia = true;
        } else if (!hasValue) {
            ok = false;
        } else if (key == "busy") {
            f.busy = value;
        } else if (key == "busy-write") {
            f.busyWrite = value;
        } else if (key == "longwrite") {
            f.longWrite = value;
        } else if (key == "longsync") {
            f.longSync = value;
        } else if (key == "notready") {
            f.notReady = value;
        } else if (key == "becoming-ready") {
            f.becomingReady = value;
        } else if (key == "medium-error") {
            f.mediumError.push_back(value);
        } else if (key == "hang-write") {
            f.hangWrite.push_back(value);
        } else {
            ok = false;
        }
        if (!ok) {
            f.unknown.emplace_back(item);
        }
    }
    return f;
}

} // namespace larderly::vdrive
