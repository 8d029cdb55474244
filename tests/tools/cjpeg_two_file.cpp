// A cjpeg that takes the two-file form "cjpeg [options] input output", as
// the Windows builds do, and runs Debian's cjpeg, which wants
// "cjpeg [options] -outfile output input". Put on the PATH by the tests so
// the simulated desktop runs the real JPEG encoder with the real command line.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
    const char* real = std::getenv("VORLUNE_REAL_CJPEG");
    if (!real || !*real) real = "/usr/bin/cjpeg";
    if (argc < 3) {
        std::fprintf(stderr, "usage: cjpeg [options] input output\n");
        return 1;
    }
    std::vector<char*> args;
    args.push_back(const_cast<char*>(real));
    for (int i = 1; i < argc - 2; ++i) args.push_back(argv[i]);
    args.push_back(const_cast<char*>("-outfile"));
    args.push_back(argv[argc - 1]);
    args.push_back(argv[argc - 2]);
    args.push_back(nullptr);
    // exec keeps the process: a time-out's kill reaches the encoder itself.
    execv(real, args.data());
    std::perror(real);
    return 1;
}
