#include "os/PlatformLog.h"

#include <unistd.h>

#include <cerrno>
#include <map>

#include "os/PlatformState.h"

namespace vnplatform {

void LogLine(const std::string& text) {
    const std::string line = "varnel-platform: " + text + "\n";
    for (size_t done = 0; done < line.size();) {
        const ssize_t n = ::write(STDERR_FILENO, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

std::string FourCharText(uint32_t code) {
    std::string text = "'";
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((code >> shift) & 0xFF);
        text += c >= 0x20 && c < 0x7F ? c : '?';
    }
    return text + "'";
}

namespace {

constexpr uint64_t kQuietUsec = 1'000'000;

struct Run {
    uint64_t lastUsec = 0;
    unsigned long more = 0;
};

std::map<std::string, Run>& Runs() {
    static std::map<std::string, Run> runs;
    return runs;
}

}  // namespace

void LogBurst(const std::string& kind, const std::string& text) {
    EndQuietBursts();
    const auto [run, first] = Runs().try_emplace(kind);
    run->second.lastUsec = NowUsec();
    if (first)
        LogLine(text);
    else
        ++run->second.more;
}

void EndQuietBursts() {
    auto& runs = Runs();
    if (runs.empty()) return;
    const uint64_t now = NowUsec();
    for (auto it = runs.begin(); it != runs.end();) {
        if (now - it->second.lastUsec < kQuietUsec) {
            ++it;
            continue;
        }
        if (it->second.more > 0) LogLine(it->first + ": " + std::to_string(it->second.more) + " more");
        it = runs.erase(it);
    }
}

uint64_t NextQuietUsec() {
    uint64_t next = 0;
    for (const auto& [kind, run] : Runs())
        if (next == 0 || run.lastUsec + kQuietUsec < next) next = run.lastUsec + kQuietUsec;
    return next;
}

}  // namespace vnplatform
