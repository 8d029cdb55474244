// Uploads to real FTP servers from Debian, each started here in the
// foreground on 127.0.0.1 with a passive port range, and stopped by its PID.
#include "ftp/ftp_session.h"
#include "tests/ftp/ftp_fixture.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

extern char** environ;

namespace ftptest {
namespace {

namespace fs = std::filesystem;

struct ServerKind {
    const char* name;
    const char* login;
    const char* password;
    int passiveFirst;
};

const ServerKind kinds[] = {
    {"vsftpd", "anonymous", "", 30100},
    {"pure-ftpd", "vorlune", "secret", 30200},
    {"pyftpdlib", "vorlune", "secret", 30300},
};

int FreePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

bool Accepts(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

// One server process for one test; stopped by its PID at the end.
class RealServer {
public:
    RealServer(const ServerKind& kind, const fs::path& work) : port_(FreePort()) {
        fs::create_directories(work);
        std::string script = VORLUNE_FTP_SERVER_SCRIPT;
        std::string portText = std::to_string(port_), first = std::to_string(kind.passiveFirst),
                    last = std::to_string(kind.passiveFirst + 99), logPath = (work / "server.log").string(),
                    workText = work.string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        const char* argv[] = {"bash", script.c_str(), kind.name, workText.c_str(), portText.c_str(),
                              first.c_str(), last.c_str(), nullptr};
        if (posix_spawn(&pid_, "/bin/bash", &actions, nullptr, const_cast<char**>(argv), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (pid_ > 0 && std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
                pid_ = -1;
                break;
            }
            if (Accepts(port_)) {
                ready_ = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    ~RealServer() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        for (int i = 0; i < 250; ++i) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ::kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    RealServer(const RealServer&) = delete;
    RealServer& operator=(const RealServer&) = delete;

    bool ready() const { return ready_; }
    bool missing() const { return exitCode_ == 77; }
    int port() const { return port_; }

private:
    int port_;
    pid_t pid_ = -1;
    int exitCode_ = -1;
    bool ready_ = false;
};

class RealServerUpload : public FtpTest, public ::testing::WithParamInterface<ServerKind> {};

TEST_P(RealServerUpload, FiveMegabytesLandByteExactUnderTheImageName) {
    const ServerKind& kind = GetParam();
    fs::path work = dir.path() / "server";
    RealServer server(kind, work);
    if (server.missing()) GTEST_SKIP() << kind.name << " is not installed";
    ASSERT_TRUE(server.ready()) << ReadFileBytes(work / "server.log");

    UseServer(server.port(), kind.login, kind.password, "upload");
    ChosenImage image = MakeImage(5 * 1024 * 1024);
    const char* message = UploadImage(session, settings, image, captureTime);
    ASSERT_EQ(message, nullptr) << message << "\n" << LogText();
    EXPECT_TRUE(SendQuit(session));

    fs::path stored = work / "files" / "upload" / imageName;
    ASSERT_TRUE(fs::exists(stored)) << LogText();
    EXPECT_TRUE(ReadFileBytes(stored) == std::string(image.data.begin(), image.data.end()))
        << "the stored file differs: " << fs::file_size(stored) << " bytes";
    std::string log = LogText();
    // The final reply follows the last block's line.
    EXPECT_TRUE(log.substr(log.rfind(" bytes\r\n") + 8).starts_with("226")) << log;
    for (auto& s : sim::Sockets()) {
        EXPECT_EQ(s.closes, 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Servers, RealServerUpload, ::testing::ValuesIn(kinds),
                         [](const ::testing::TestParamInfo<ServerKind>& param) {
                             std::string name = param.param.name;
                             for (auto& c : name)
                                 if (c == '-') c = '_';
                             return name;
                         });

}  // namespace
}  // namespace ftptest
