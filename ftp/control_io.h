// The control connection's primitives: one command out, one reply in, and
// the test a reply is judged by.
#pragma once

#include "platform/platform.h"

// How long a command may wait for the connection to take it, and how long a
// reply may wait for each of its pieces.
constexpr long commandWaitSeconds = 15;
constexpr long replyPieceWaitSeconds = 10;

// Sends the whole command (length bytes, its "\r\n" included). Returns the
// count sent; -1 when the connection did not become writable within 15 s,
// -2 when a send failed. Logs nothing and never closes the connection.
int SendCommand(plat::SOCKET connection, const char* text, int length);

// Reads one reply into buffer (textBufferSize bytes) as a zero-terminated
// text. Returns the byte count of the last piece received (> 0) once the
// reply's last line is complete or the buffer is full. On silence for 10 s,
// a receive error or the end of the stream it logs
// "Select or Receive failed\r\n", closes the connection and returns -1.
int ReadReply(plat::SOCKET connection, char* buffer);

// True when the reply text begins with code (two characters, e.g. "22").
bool ReplyStartsWith(const char* buffer, const char* code);

// True when text (length bytes) holds a whole reply: a first line that does
// not open a multi-line reply ("ddd-"), or, after such a line, a line that
// begins with the same three digits and a blank; each line ends in LF.
bool ReplyComplete(const char* text, int length);
