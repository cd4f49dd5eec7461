// lumaro-mdbreader: the process that opens a legacy Jet file on behalf of the program
// and lumaro-admin. It writes the tables to stdout as a record stream; whoever starts
// it survives whatever libmdb does with a damaged file.
//
//   lumaro-mdbreader [--charset NAME] FILE [TABLE...]

#include "JetReader.h"

#include <iconv.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void limit(int resource, rlim_t value)
{
    rlimit r{value, value};
    setrlimit(resource, &r);
}

bool writeAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= std::size_t(n);
    }
    return true;
}

bool charsetKnown(const char* name)
{
    iconv_t cd = iconv_open("UTF-8", name);
    if (cd == iconv_t(-1))
        return false;
    iconv_close(cd);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    // A damaged file may send libmdb into a loop or a huge allocation: bound both,
    // and leave no core file behind when it crashes.
    limit(RLIMIT_CPU, 60);
#ifndef __SANITIZE_ADDRESS__
    // Not under AddressSanitizer, whose shadow memory reserves far more address space.
    limit(RLIMIT_AS, rlim_t(512) << 20);
#endif
    limit(RLIMIT_CORE, 0);

    // The stream gets its own descriptor; anything libmdb prints goes to stderr.
    const int streamFd = dup(STDOUT_FILENO);
    if (streamFd < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
        return 3;

    std::string buffer;
    lumaro::legacy::StreamWriter out([&](const char* data, std::size_t size) {
        buffer.append(data, size);
        if (buffer.size() < 64 * 1024)
            return true;
        bool ok = writeAll(streamFd, buffer.data(), buffer.size());
        buffer.clear();
        return ok;
    });
    auto flush = [&] {
        writeAll(streamFd, buffer.data(), buffer.size());
        buffer.clear();
    };

    std::vector<std::string> args(argv + 1, argv + argc);
    std::string charset;
    if (args.size() >= 2 && args[0] == "--charset") {
        charset = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.empty()) {
        std::fprintf(stderr, "usage: lumaro-mdbreader [--charset NAME] FILE [TABLE...]\n");
        return 2;
    }

    // Text always leaves as UTF-8, whatever the caller's environment says.
    unsetenv("MDBICONV");
    if (!charset.empty())
        setenv("MDB_JET3_CHARSET", charset.c_str(), 1);
    if (const char* cs = std::getenv("MDB_JET3_CHARSET"); cs && !charsetKnown(cs)) {
        out.failure(std::string("不認得的字元編碼：") + cs);
        flush();
        return 1;
    }

    const std::string path = args[0];
    const std::vector<std::string> tables(args.begin() + 1, args.end());
    const bool ok = lumaro::legacy::readJetFile(path, tables, out);
    flush();
    return ok ? 0 : 1;
}
