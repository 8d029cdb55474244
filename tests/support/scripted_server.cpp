#include "tests/support/scripted_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>

namespace ftptest {

namespace {

using Clock = std::chrono::steady_clock;

// Every wait of the server is bounded, so a client that misbehaves fails its
// test instead of hanging it.
constexpr auto acceptLimit = std::chrono::seconds(20);
constexpr auto drainLimit = std::chrono::seconds(30);
// A server of several sessions waits this long for each one after the first:
// the client may be busy with other work in between.
constexpr auto nextSessionLimit = std::chrono::seconds(120);

int Listen(const std::string& host, int* port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    ::inet_pton(AF_INET, host.c_str(), &address.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 4) != 0) {
        ::close(fd);
        return -1;
    }
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    *port = ntohs(address.sin_port);
    return fd;
}

// Waits for the descriptor to become readable until the deadline or a stop.
bool WaitReadable(int fd, Clock::time_point deadline, const bool& stop, std::mutex& mutex) {
    for (;;) {
        {
            std::lock_guard lock(mutex);
            if (stop) return false;
        }
        auto now = Clock::now();
        if (now >= deadline) return false;
        pollfd entry{fd, POLLIN, 0};
        int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count());
        if (::poll(&entry, 1, left < 50 ? left : 50) > 0) return true;
    }
}

int Accept(int listener, Clock::duration limit, const bool& stop, std::mutex& mutex) {
    if (!WaitReadable(listener, Clock::now() + limit, stop, mutex)) return -1;
    int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) {
        int on = 1;
        // Each piece goes out on its own, so the client sees the split.
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    return fd;
}

void SendAll(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return;
        sent += static_cast<std::size_t>(n);
    }
}

}  // namespace

Turn Greeting(std::string text) { return Turn{Turn::nothing, {{0, std::move(text)}}, Turn::keep}; }
Turn On(std::string text) { return Turn{Turn::command, {{0, std::move(text)}}, Turn::keep}; }
Turn AfterData(std::string text) { return Turn{Turn::dataEnd, {{0, std::move(text)}}, Turn::keep}; }
Turn Silent() { return Turn{Turn::command, {}, Turn::keep}; }

ScriptedServer::ScriptedServer(std::vector<Turn> script, DataPlan data, int sessions)
    : script_(std::move(script)), plan_(data), sessionCount_(sessions) {
    controlListener_ = Listen("127.0.0.1", &controlPort_);
    dataListener_ = Listen(plan_.host, &dataPort_);
    control_ = std::thread([this] { RunControl(); });
    data_ = std::thread([this] { RunData(); });
}

ScriptedServer::~ScriptedServer() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    control_.join();
    data_.join();
    if (controlListener_ >= 0) ::close(controlListener_);
    if (dataListener_ >= 0) ::close(dataListener_);
}

bool ScriptedServer::ReadCommand(int fd, std::string& pending) {
    auto deadline = Clock::now() + acceptLimit;
    for (;;) {
        auto lineEnd = pending.find('\n');
        if (lineEnd != std::string::npos) {
            pending.erase(0, lineEnd + 1);
            return true;
        }
        if (!WaitReadable(fd, deadline, stop_, mutex_)) return false;
        char buffer[4096];
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) return false;
        pending.append(buffer, static_cast<std::size_t>(n));
        std::lock_guard lock(mutex_);
        commands_.append(buffer, static_cast<std::size_t>(n));
        sessions_.back().commands.append(buffer, static_cast<std::size_t>(n));
    }
}

void ScriptedServer::RunControl() {
    char address[32];
    std::snprintf(address, sizeof address, "%s,%d,%d", plan_.host.c_str(), dataPort_ / 256, dataPort_ % 256);
    std::string pasv = address;
    for (auto& c : pasv)
        if (c == '.') c = ',';

    for (int session = 0; session < sessionCount_; ++session) {
        int fd = Accept(controlListener_, session == 0 ? acceptLimit : nextSessionLimit, stop_, mutex_);
        if (fd < 0) break;
        int dataEndsBefore = 0;
        {
            std::lock_guard lock(mutex_);
            sessions_.emplace_back();
            dataEndsBefore = dataEnds_;
        }
        std::string pending;
        bool open = true;
        for (const Turn& turn : script_) {
            if (turn.before == Turn::command && !ReadCommand(fd, pending)) {
                open = false;
                break;
            }
            if (turn.before == Turn::dataEnd) {
                std::unique_lock lock(mutex_);
                changed_.wait_for(lock, acceptLimit,
                                  [&] { return dataEnds_ > dataEndsBefore || dataFinished_ || stop_; });
            }
            for (const Piece& piece : turn.reply) {
                if (piece.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(piece.delayMs));
                std::string bytes = piece.bytes;
                for (auto at = bytes.find("%PASV%"); at != std::string::npos; at = bytes.find("%PASV%"))
                    bytes.replace(at, 6, pasv);
                SendAll(fd, bytes);
            }
            if (turn.after == Turn::close) {
                open = false;
                break;
            }
        }
        // Whatever the client sends after the script (QUIT) is recorded too,
        // until it closes its end.
        if (open) {
            auto deadline = Clock::now() + drainLimit;
            char buffer[4096];
            while (WaitReadable(fd, deadline, stop_, mutex_)) {
                ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
                if (n <= 0) break;
                std::lock_guard lock(mutex_);
                commands_.append(buffer, static_cast<std::size_t>(n));
                sessions_.back().commands.append(buffer, static_cast<std::size_t>(n));
            }
        }
        ::close(fd);
        std::lock_guard lock(mutex_);
        ++sessionsEnded_;
        changed_.notify_all();
    }
    std::lock_guard lock(mutex_);
    controlDone_ = true;
    changed_.notify_all();
}

void ScriptedServer::RunData() {
    for (int session = 0; session < sessionCount_; ++session) {
        int fd = Accept(dataListener_, session == 0 ? acceptLimit : nextSessionLimit, stop_, mutex_);
        if (fd < 0) break;
        {
            std::lock_guard lock(mutex_);
            dataConnected_ = true;
            // The data connection belongs to the session open on the control
            // connection, which the client opened first.
            if (!sessions_.empty()) sessions_.back().dataConnected = true;
        }
        auto deadline = Clock::now() + drainLimit;
        char buffer[65536];
        std::size_t total = 0;
        while (WaitReadable(fd, deadline, stop_, mutex_)) {
            ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            total += static_cast<std::size_t>(n);
            {
                std::lock_guard lock(mutex_);
                if (session == 0) received_.append(buffer, static_cast<std::size_t>(n));
                if (!sessions_.empty()) sessions_.back().data.append(buffer, static_cast<std::size_t>(n));
            }
            if (plan_.resetAfter >= 0 && total >= static_cast<std::size_t>(plan_.resetAfter)) {
                // A zero linger turns the close into a reset.
                linger hard{1, 0};
                ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
                break;
            }
        }
        ::close(fd);
        std::lock_guard lock(mutex_);
        ++dataEnds_;
        dataDone_ = true;
        changed_.notify_all();
    }
    std::lock_guard lock(mutex_);
    dataDone_ = true;
    dataFinished_ = true;
    changed_.notify_all();
}

std::string ScriptedServer::Commands() {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, drainLimit, [this] { return controlDone_; });
    return commands_;
}

std::string ScriptedServer::Data() {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, drainLimit, [this] { return dataDone_; });
    return received_;
}

bool ScriptedServer::DataConnected() {
    std::lock_guard lock(mutex_);
    return dataConnected_;
}

std::vector<SessionRecord> ScriptedServer::Sessions() {
    std::lock_guard lock(mutex_);
    return {sessions_.begin(), sessions_.begin() + sessionsEnded_};
}

}  // namespace ftptest
