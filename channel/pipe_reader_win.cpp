#include "channel/pipe_reader_win.h"

#include "base/debug_output.h"
#include "channel/pipe_message.h"
#include "install/messages.h"
#include "ui/text_table.h"

namespace {

// Cancels the operation still pending on `ov` and waits until the system no
// longer uses it (or its buffer), which is before either goes out of scope.
void FinishPendingIo(HANDLE pipe, OVERLAPPED& ov) {
  CancelIoEx(pipe, &ov);
  DWORD transferred = 0;
  while (!GetOverlappedResult(pipe, &ov, &transferred, FALSE) && GetLastError() == ERROR_IO_INCOMPLETE) Sleep(1);
}

// Connects the client; false when the reader is to end without reading.
bool Connect(PipeReaderHost& host, HANDLE pipe, OVERLAPPED& ov) {
  if (ConnectNamedPipe(pipe, &ov)) {
    DebugOut("Client connected immediately!\n");
    return true;
  }
  DWORD error = GetLastError();
  if (error != ERROR_IO_PENDING) {
    // ERROR_PIPE_CONNECTED (the client came first) lands here too; reading works.
    DebugOut("Client connection error " + std::to_string(error));
    return true;
  }
  // The event is reset when the operation starts: a stop signalled just
  // before would be lost, but `stopped` was set before it.
  if (host.stopped) {
    FinishPendingIo(pipe, ov);
    return false;
  }
  DWORD wait = WaitForSingleObject(ov.hEvent, INFINITE);
  if (wait == WAIT_OBJECT_0) {
    if (host.stopped) {
      FinishPendingIo(pipe, ov);
      return false;
    }
    DebugOut("Client connected suc");
  } else if (wait == WAIT_TIMEOUT) {
    DebugOut("Client connection timeout");
  } else {
    DebugOut("Client connection error " + std::to_string(GetLastError()));
  }
  return true;
}

void ReadMessages(PipeReaderHost& host, HANDLE pipe, OVERLAPPED& ov) {
  const std::wstring failedText = GetText(L"tt_failed");
  unsigned char buffer[kPipeBufferBytes];
  for (;;) {
    ZeroMemory(buffer, sizeof(buffer));
    if (!ReadFile(pipe, buffer, kPipeReadBytes, nullptr, &ov) && GetLastError() != ERROR_IO_PENDING) return;
    if (host.stopped) {
      FinishPendingIo(pipe, ov);
      return;
    }
    WaitForSingleObject(ov.hEvent, INFINITE);
    if (host.stopped) {
      FinishPendingIo(pipe, ov);
      return;
    }
    // The read is complete (or failed because the client closed its end; the
    // cleared buffer then reads as 0).
    DWORD transferred = 0;
    GetOverlappedResult(pipe, &ov, &transferred, FALSE);
    try {
      std::wstring text = DecodePipeText(buffer, kPipeReadBytes);
      PipeMessage message = InterpretPipeMessage(text, failedText);
      if (message.kind == PipeMessage::kFailure) {
        host.SetStatusText(text);
        DisconnectNamedPipe(pipe);
        return;
      }
      DebugOutW(L"__update  ReadFile " + text);
      if (message.kind == PipeMessage::kProgress) {
        PostMessageW(host.window, WM_CHANNEL_PROGRESS, message.progress, 0);
        if (message.endsReading) {
          DisconnectNamedPipe(pipe);
          return;
        }
      }
    } catch (...) {
      DebugOut("__update excetipn ");
    }
  }
}

}  // namespace

UniqueHandle CreateProgressPipe(const std::wstring& name) {
  UniqueHandle pipe(CreateNamedPipeW(name.c_str(),
                                     PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                     PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 512, 512, 0, nullptr));
  if (!pipe) return pipe;
  // Where the flag is not honoured, an instance created by someone else
  // first still shows in the count.
  DWORD instances = 0;
  if (!GetNamedPipeHandleStateW(pipe.get(), nullptr, &instances, nullptr, nullptr, nullptr, 0) || instances != 1) {
    pipe.reset();
    SetLastError(ERROR_ACCESS_DENIED);
  }
  return pipe;
}

void PipeReaderLoop(PipeReaderHost& host, HANDLE pipe) {
  try {
    OVERLAPPED ov{};
    ov.hEvent = host.pipeEvent.get();
    if (!ov.hEvent) return;
    if (!Connect(host, pipe, ov)) return;
    host.clientConnected = true;
    ReadMessages(host, pipe, ov);
  } catch (...) {
    DebugOut("__update excetipn ");
  }
}
