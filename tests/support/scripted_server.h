// An FTP server driven by a script, for tests: it replies exactly as told
// (in pieces, with pauses, closing or resetting on cue), records every byte
// the client sends on the control connection, and takes one passive data
// connection. Listens on the loopback only. It serves one session, or a
// given number of them one after another, each running the whole script.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ftptest {

// Bytes the server sends after a pause of delayMs.
struct Piece {
    int delayMs = 0;
    std::string bytes;
};

// One turn of the dialogue. "%PASV%" in a piece stands for the data
// listener's "h1,h2,h3,h4,p1,p2".
struct Turn {
    enum Before { nothing, command, dataEnd } before = command;  // what to wait for first
    std::vector<Piece> reply;
    enum After { keep, close } after = keep;  // close: end the control connection
};

// Shorthands for the common turns.
Turn Greeting(std::string text);
Turn On(std::string text);              // reply after the next command
Turn AfterData(std::string text);       // reply once the data connection has ended
Turn Silent();                          // answer the next command with nothing

struct DataPlan {
    std::string host = "127.0.0.1";
    int resetAfter = -1;  // reset the data connection after this many bytes
};

// What one session brought: the bytes sent on its control connection and on
// the data connection it opened, if any.
struct SessionRecord {
    std::string commands;
    std::string data;
    bool dataConnected = false;
};

class ScriptedServer {
public:
    explicit ScriptedServer(std::vector<Turn> script, DataPlan data = {}, int sessions = 1);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    int port() const { return controlPort_; }
    int dataPort() const { return dataPort_; }
    // Waits (bounded) until the client has closed the control connection
    // (the last session's, with several), then returns everything it sent.
    std::string Commands();
    // What arrived on the data connection, once it has ended.
    std::string Data();
    bool DataConnected();
    // The sessions whose control connection has ended so far, in order.
    std::vector<SessionRecord> Sessions();

private:
    void RunControl();
    void RunData();
    bool ReadCommand(int fd, std::string& pending);

    std::vector<Turn> script_;
    DataPlan plan_;
    int sessionCount_ = 1;
    int controlListener_ = -1;
    int dataListener_ = -1;
    int controlPort_ = 0;
    int dataPort_ = 0;
    std::thread control_;
    std::thread data_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::string commands_;
    std::string received_;  // the first data connection's bytes
    std::vector<SessionRecord> sessions_;  // the last one may still be open
    int sessionsEnded_ = 0;
    int dataEnds_ = 0;  // data connections ended so far
    bool controlDone_ = false;
    bool dataConnected_ = false;
    bool dataDone_ = false;  // the first data connection ended, or none came
    bool dataFinished_ = false;  // the data listener takes no more
    bool stop_ = false;
};

}  // namespace ftptest
