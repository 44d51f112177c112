// The stub's end of the installer progress pipe: the server end and the
// reader thread that relays the full installer's progress and failure text.
#pragma once
#include <windows.h>

#include <atomic>
#include <string>

#include "base/win_handle.h"

// What the reader uses of its controller.
class PipeReaderHost {
 public:
  // The event of every overlapped operation on the pipe (manual reset, not
  // signalled). Created before the reader starts; the controller releases
  // the reader by setting `stopped` and then signalling this event, and
  // closes it only after the reader has ended.
  UniqueHandle pipeEvent;
  std::atomic<bool> stopped{false};
  // Set by the reader once a client is connected (it then ends by itself
  // after the client has closed its end and what it wrote has been read).
  std::atomic<bool> clientConnected{false};
  HWND window = nullptr;

  // The reader received a failure message; called on the reader's thread.
  virtual void SetStatusText(const std::wstring& text) = 0;

 protected:
  ~PipeReaderHost() = default;
};

// The server end: duplex, overlapped, byte stream, one instance, 512-byte
// buffers. It is the first instance of the name or nothing: if another
// process already owns the name, creation fails (invalid handle), so nothing
// else can sit on the stub's pipe and feed it progress or failure texts.
UniqueHandle CreateProgressPipe(const std::wstring& name);

// The reader thread's body. Connects the client (overlapped), then reads until
// a failure message, the value 100, a failed read (the client closed its end)
// or `stopped`. Posts WM_CHANNEL_PROGRESS with 70..99 to `host.window`, hands
// a failure text to `host.SetStatusText`, disconnects but never closes the
// pipe. No overlapped operation is left pending when it returns. Never throws.
void PipeReaderLoop(PipeReaderHost& host, HANDLE pipe);
