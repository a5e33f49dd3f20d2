// Reads one file with one reader, the way the program that owns the reader hands it its input,
// then prints what came of it and the process's peak memory just before leaving:
//   memory_probe message|job|strings|document FILE
// prints the reader's error, or "ok", on the first line, then what the reader logged, then
// "VmHWM <KiB>".
#include <unistd.h>

#include <exception>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "DocumentJson.h"
#include "ProcStatus.h"
#include "job/BJobFile.h"
#include "message/umessage.h"
#include "support/flat_map.h"
#include "support/ulogger.h"
#include "text/ustring_load.h"

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Each as its reader's callers do: the plug-in takes a reply's bytes over into a string stream,
// the string tables are read from their file, the host reads a document whole.
std::string Read(const std::string& kind, const std::string& path) {
    if (kind == "message") {
        std::istringstream in(ReadAll(path));
        umessage message;
        return message.unflatten(in) ? "ok" : "not a flattened message";
    }
    if (kind == "job") {
        std::istringstream in(ReadAll(path));
        BJobFile job;
        job.JobFileReadFromBuffer(in, BJobFile::kFlagFull);
        return "ok";
    }
    if (kind == "strings") {
        std::ifstream in(path, std::ios::binary);
        vnu::flat_map<ustring, ustring> entries;
        parseStringTable(in, entries);
        return "ok";
    }
    if (kind == "document") {
        const std::string text = ReadAll(path);
        const vhost::Document doc = vhost::documentFromText(text, path);
        return "ok";
    }
    throw std::invalid_argument("unknown reader " + kind);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: memory_probe message|job|strings|document FILE\n";
        return 2;
    }
    std::ostringstream log;
    std::ostream* const saved = vnu::logger.stream();
    vnu::logger.setStream(&log);
    vnu::logger.mask = static_cast<unsigned>(vnu::loglevel::error);
    std::string outcome;
    try {
        outcome = Read(argv[1], argv[2]);
    } catch (const std::exception& e) {
        outcome = e.what();
    }
    vnu::logger.setStream(saved);
    std::cout << outcome << '\n'
              << log.str() << "VmHWM " << testing_support::StatusKiB(::getpid(), "VmHWM") << '\n';
    return 0;
}
