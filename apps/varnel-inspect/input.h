// The inspector's input, read as it is decoded: a file or standard input, optionally as the
// event channel's hexadecimal text, and the root record of a key stream taken from it.
#pragma once

#include <cstdint>
#include <memory>
#include <streambuf>
#include <string>

namespace inspect {

// An input that ends early when it cannot go on. What went wrong is kept for the error line:
// a reader downstream sees only the end of its input, and would blame the bytes.
class CheckedInput : public std::streambuf {
public:
    // Empty while nothing went wrong.
    const std::string& problem() const { return problem_; }

protected:
    void fail(std::string what) {
        if (problem_.empty()) problem_ = std::move(what);
    }

private:
    std::string problem_;
};

// A file descriptor, read a block at a time. Seekable when it is a regular file, so that a
// reader may learn its size; a pipe or a device is read as it comes.
class FileInput : public CheckedInput {
public:
    // Reads `fd`; closes it when `owned`. A directory gives no bytes and says so.
    FileInput(int fd, bool owned);
    ~FileInput() override;
    FileInput(const FileInput&) = delete;
    FileInput& operator=(const FileInput&) = delete;

    // Throws std::runtime_error saying why the file cannot be opened, or that it is a directory.
    static std::unique_ptr<FileInput> open(const std::string& path);

protected:
    int_type underflow() override;
    pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode which) override;
    pos_type seekpos(pos_type pos, std::ios_base::openmode which) override;

private:
    static constexpr std::size_t kBlock = 64 * 1024;
    int fd_;
    bool owned_;
    bool seekable_ = false;
    std::int64_t filePos_ = 0;  // the file offset of the buffer's end
    std::unique_ptr<char[]> buffer_;
};

// Bytes from hexadecimal text, two digits (either case) per byte; blanks may only end it. The
// first other character ends the bytes where it stands: it is reported only when a reader asks
// for the byte it would have been part of, so input that is never read is never judged.
class HexInput : public CheckedInput {
public:
    explicit HexInput(std::streambuf& text) : text_(text) {}

protected:
    int_type underflow() override;

private:
    void stop(std::uint64_t offset, int character);
    bool onlyBlanksFollow();

    std::streambuf& text_;
    std::uint64_t offset_ = 0;  // characters taken from the text
    std::string pending_;       // the problem that ends the bytes decoded so far
    char buffer_[4096];
};

// The bytes of a key stream's root record, read no further than its header says: a header the
// reader refuses, or an input that ends early, stops the reading where it shows, and the reader
// then names what is wrong. With `more`, the byte after the record is asked for, to tell whether
// the input goes on; the reader ignores what follows, so without it nothing after is read.
std::string readRootRecord(std::streambuf& in, bool* more = nullptr);

}  // namespace inspect
