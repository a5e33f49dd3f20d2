#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <streambuf>

#include "ByteText.h"
#include "inspect_runner.h"
#include "jobjson/message_json.h"
#include "support/hexcodec.h"

namespace {

using inspect_test::inspect;
using testing_support::bytes;

const std::string kBin = VARNEL_INSPECT_BIN;
const std::string kStdin = "varnel-inspect: stdin: ";

// A root record of 42 bytes: the version, 'St' and the array 'RT'.
const std::string kFiftyBytes = bytes(
    "4B 53 FF 00 00 00 2A 06 C0 DE 01 02 01 53 74 01 02 05 52 54 FF 00 00 00 18 07 00 04 00 04 08 04 40 6A "
    "40 00 00 00 00 00 08 04 40 72 90 00 00 00 00 00");

// `prefix`, then `filler` for ever, a byte per read; counts the bytes a reader took or looked at.
class EndlessInput : public std::streambuf {
public:
    EndlessInput(std::string prefix, char filler) : prefix_(std::move(prefix)), filler_(filler) {}
    std::size_t handedOut() const { return handedOut_; }

protected:
    int_type underflow() override {
        byte_ = handedOut_ < prefix_.size() ? prefix_[handedOut_] : filler_;
        ++handedOut_;
        setg(&byte_, &byte_, &byte_ + 1);
        return traits_type::to_int_type(byte_);
    }

private:
    std::string prefix_;
    char filler_;
    char byte_ = 0;
    std::size_t handedOut_ = 0;
};

TEST(InspectInput, EndlessInputEndsAtTheByteThatDecides) {
    const std::string hex = vnu::HexEncode(kFiftyBytes);
    const std::string goesOn = "key stream: offset 50: the input goes on after the root record\n";
    const std::string jsonError = "JSON: [json.exception.parse_error.101] parse error at line 1, column 18";
    const struct {
        std::vector<std::string> args;
        std::string prefix;
        char filler;
        std::string err;  // the error line's start after the input's name; empty: success
        std::size_t most;
    } cases[] = {
        {{"keystream"}, "", '\0', "UKeyInStream: meta key mismatch\n", 2},
        {{"checks"}, "KS", '\0', "UKeyInStream: expecting record\n", 4},
        {{"job"}, "KS\xFF", '\0', "UKeyInStream: expecting record\n", 8},
        // The reader ignores what follows the root record: it is not even looked at.
        {{"job"}, kFiftyBytes, '\0', "", 50},
        {{"keystream"}, kFiftyBytes, '\0', goesOn, 51},
        {{"message"}, "", '\xFF', "not a flattened message\n", 9},
        {{"encode"}, "", '[', "JSON: nested deeper than", inspect::kMaxJsonDepth + 1},
        {{"message", "--encode"}, R"({"n": {"int": 1}})", 'x', jsonError, 18},
        {{"keystream", "--hex"}, hex, 'g', "not hexadecimal at offset 100 ('g')\n", 101},
        {{"job", "--hex"}, hex + "\n", 'g', "", 102},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + std::to_string(c.prefix.size()));
        EndlessInput endless(c.prefix, c.filler);
        std::istream in(&endless);
        const auto r = inspect(c.args, in);
        EXPECT_EQ(r.status, c.err.empty() ? 0 : 1) << r.err;
        if (!c.err.empty()) {
            EXPECT_EQ(r.err.rfind(kStdin + c.err, 0), 0u) << r.err;
        }
        EXPECT_LE(endless.handedOut(), c.most);
    }
}

TEST(InspectInput, HexTextIsRefusedAtItsFirstStrayCharacter) {
    const struct {
        std::string text, err;
    } cases[] = {
        {"4b53g0", "not hexadecimal at offset 4 ('g')"},
        {"4B53 FF", "not hexadecimal at offset 4 (' ')"},
        {"4B53\x01", "not hexadecimal at offset 4 (0x01)"},
        {"4B5", "odd number of hexadecimal digits"},
        {"4B5 \n", "odd number of hexadecimal digits"},
        {"4B53\n00", "not hexadecimal at offset 4 (0x0A)"},
    };
    for (const auto& c : cases) {
        const auto r = inspect({"keystream", "--hex"}, c.text);
        EXPECT_EQ(std::pair(r.status, r.err), std::pair(1, kStdin + c.err + "\n")) << c.text;
    }
    // Lower-case digits and blanks at the end are hexadecimal text as well.
    std::string lower = vnu::HexEncode(kFiftyBytes);
    for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    const auto r = inspect({"keystream", "--hex"}, lower + " \r\n\t\n");
    EXPECT_EQ(std::pair(r.status, r.out), std::pair(0, inspect({"keystream"}, kFiftyBytes).out)) << r.err;
}

TEST(InspectInput, FilesDevicesAndDirectoriesAsProgramInput) {
    const testing_support::ScratchFolder folder;
    // Longer than a block of the reader, past its seeks, and followed by bytes it leaves alone.
    const nlohmann::ordered_json message = {{"n", {{"int", 7}}},
                                            {"s", {{"string", std::string(200000, 'q')}}}};
    const auto flat = inspect({"message", "--encode"}, message.dump());
    ASSERT_EQ(flat.status, 0) << flat.err;
    const std::string file = folder.write("ticket.bin", flat.out + "trailing");
    EXPECT_EQ(nlohmann::ordered_json::parse(inspect({"message", file}).out), message);

    const auto program = [](const std::string& command) {
        return inspect_test::shell(kBin + " " + command + " 2>&1");
    };
    EXPECT_EQ(nlohmann::ordered_json::parse(program("message < " + file).second), message);
    const struct {
        std::string command, line;
    } cases[] = {
        {"keystream < /dev/zero", kStdin + "UKeyInStream: meta key mismatch"},
        {"message /dev/zero", "varnel-inspect: /dev/zero: not a flattened message"},
        {"job < " + folder.path(), kStdin + "is a directory"},
        {"checks " + folder.path(), "varnel-inspect: " + folder.path() + ": is a directory"},
    };
    for (const auto& c : cases) EXPECT_EQ(program(c.command), std::pair(1, c.line + "\n")) << c.command;
}

}  // namespace
