// The stub's end of the installer progress pipe: the server end and the
// reader thread that relays the full installer's progress and ends with its
// failure message, which the owner gets back when it stops the reader.
#pragma once
#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

#include "base/guarded_thread.h"
#include "base/win_handle.h"
#include "channel/install_events.h"

// What the reader thread shares with its owner; the owner keeps it alive
// until the thread has ended.
struct PipeReaderShared {
  // The event of every overlapped operation on the pipe (manual reset, not
  // signalled). Created before the reader starts; the owner releases the
  // reader by setting `stopped` and then signalling this event, and closes it
  // only after the reader has ended.
  UniqueHandle event;
  std::atomic<bool> stopped{false};
  // Set by the reader once a client is connected (it then ends by itself
  // after the client has closed its end and what it wrote has been read).
  std::atomic<bool> clientConnected{false};
  // Set before the reader starts and not changed while it runs.
  std::wstring failedText;         // see ChannelSettings::installerFailedText
  InstallEvents* events = nullptr;  // receives the installer's percentages
};

// The server end: duplex, overlapped, byte stream, one instance, 512-byte
// buffers. It is the first instance of the name or nothing: if another
// process already owns the name, creation fails (invalid handle), so nothing
// else can sit on the stub's pipe and feed it progress or failure texts.
UniqueHandle CreateProgressPipe(const std::wstring& name);

// The reader thread's body. Connects the client (overlapped), then reads until
// a failure message, the value 100, a failed read (the client closed its end)
// or `stopped`. Hands each percentage 0..100 to `shared.events`, disconnects
// but never closes the pipe, and returns the failure message it read ("" when
// none). No overlapped operation is left pending when it returns. An exception
// while handling one message is written ("__update excetipn ") and reading
// goes on.
std::wstring PipeReaderLoop(PipeReaderShared& shared, HANDLE pipe);

enum class PipeReaderStart {
  kStarted,
  kNoPipe,    // the pipe or its event could not be created: the installer runs without one
  kNoThread,  // the reader thread could not start: the run cannot go on
};

// The pipe and its reader thread, owned by the channel controller and used
// from its channel thread only.
class ProgressPipeReader {
 public:
  ProgressPipeReader() = default;
  ~ProgressPipeReader();  // stops the reader without draining
  ProgressPipeReader(const ProgressPipeReader&) = delete;
  ProgressPipeReader& operator=(const ProgressPipeReader&) = delete;

  // Creates the progress pipe of this process and starts the reader on it,
  // a thread named "progress pipe reader". `pipeName` is set only when it
  // started; the pipe is closed again when not.
  PipeReaderStart Start(InstallEvents* events, const std::wstring& failedText, std::wstring* pipeName);
  // After the full installer has ended: ends the reader, letting it first
  // read for up to `drainMs` what a connected installer wrote before it
  // ended, then closes the pipe and its event. Blocks until the reader has
  // ended. Returns the failure message the installer wrote; "" when none (or
  // when the reader ran and was stopped before).
  std::wstring Stop(DWORD drainMs);

  bool Stopped() const { return !shared || shared->stopped; }

 private:
  bool ClientCameToPipe() const;

  UniqueHandle pipe;
  std::unique_ptr<PipeReaderShared> shared;
  GuardedThread reader;
  UniqueHandle readerEnded;  // manual reset, set by the reader as its last step
  // What the reader returned: written by it before it ends, read by Stop
  // after joining it.
  std::wstring readerFailure;
};
