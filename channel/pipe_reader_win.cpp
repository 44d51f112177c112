#include "channel/pipe_reader_win.h"

#include "base/debug_output.h"
#include "channel/installer_launch.h"
#include "channel/pipe_message.h"

namespace {

// Cancels the operation still pending on `ov` and waits until the system no
// longer uses it (or its buffer), which is before either goes out of scope.
void FinishPendingIo(HANDLE pipe, OVERLAPPED& ov) {
  CancelIoEx(pipe, &ov);
  DWORD transferred = 0;
  while (!GetOverlappedResult(pipe, &ov, &transferred, FALSE) && GetLastError() == ERROR_IO_INCOMPLETE) Sleep(1);
}

// Connects the client; false when the reader is to end without reading.
bool Connect(PipeReaderShared& shared, HANDLE pipe, OVERLAPPED& ov) {
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
  if (shared.stopped) {
    FinishPendingIo(pipe, ov);
    return false;
  }
  DWORD wait = WaitForSingleObject(ov.hEvent, INFINITE);
  if (wait == WAIT_OBJECT_0) {
    if (shared.stopped) {
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

// Returns the failure message, "" when the reading ended otherwise.
std::wstring ReadMessages(PipeReaderShared& shared, HANDLE pipe, OVERLAPPED& ov) {
  unsigned char buffer[kPipeBufferBytes];
  for (;;) {
    ZeroMemory(buffer, sizeof(buffer));
    if (!ReadFile(pipe, buffer, kPipeReadBytes, nullptr, &ov) && GetLastError() != ERROR_IO_PENDING) return {};
    if (shared.stopped) {
      FinishPendingIo(pipe, ov);
      return {};
    }
    WaitForSingleObject(ov.hEvent, INFINITE);
    if (shared.stopped) {
      FinishPendingIo(pipe, ov);
      return {};
    }
    // The read is complete (or failed because the client closed its end; the
    // cleared buffer then reads as 0).
    DWORD transferred = 0;
    GetOverlappedResult(pipe, &ov, &transferred, FALSE);
    try {
      std::wstring text = DecodePipeText(buffer, kPipeReadBytes);
      PipeMessage message = InterpretPipeMessage(text, shared.failedText);
      if (message.kind == PipeMessage::kFailure) {
        DisconnectNamedPipe(pipe);
        return text;
      }
      DebugOutW(L"__update  ReadFile " + text);
      if (message.kind == PipeMessage::kProgress) {
        if (shared.events) shared.events->OnInstallerProgress(message.value);
        if (message.endsReading) {
          DisconnectNamedPipe(pipe);
          return {};
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

std::wstring PipeReaderLoop(PipeReaderShared& shared, HANDLE pipe) {
  OVERLAPPED ov{};
  ov.hEvent = shared.event.get();
  if (!ov.hEvent) return {};
  if (!Connect(shared, pipe, ov)) return {};
  shared.clientConnected = true;
  return ReadMessages(shared, pipe, ov);
}

ProgressPipeReader::~ProgressPipeReader() { Stop(0); }

PipeReaderStart ProgressPipeReader::Start(InstallEvents* events, const std::wstring& failedText,
                                          std::wstring* pipeName) {
  std::wstring name = ProgressPipeName(GetCurrentProcessId());
  pipe = CreateProgressPipe(name);
  if (!pipe) return PipeReaderStart::kNoPipe;
  DebugOutW(L"__update namepipestr " + name);
  reader.Join();
  readerFailure.clear();
  auto state = std::make_unique<PipeReaderShared>();
  // The event exists before the reader runs, so a stop can never miss it.
  state->event.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  readerEnded.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!state->event || !readerEnded) {
    pipe.reset();
    return PipeReaderStart::kNoPipe;
  }
  state->failedText = failedText;
  state->events = events;
  shared = std::move(state);
  PipeReaderShared* s = shared.get();
  HANDLE handle = pipe.get();
  HANDLE ended = readerEnded.get();
  std::wstring* failure = &readerFailure;
  ThreadStart start = StartGuardedThread(
      "progress pipe reader", [s, handle, failure] { *failure = PipeReaderLoop(*s, handle); },
      [ended] { SetEvent(ended); });
  if (!start.started) {
    DebugOut("progress pipe reader could not be started: " + start.failure);
    pipe.reset();
    return PipeReaderStart::kNoThread;
  }
  reader = std::move(start.thread);
  *pipeName = name;
  return PipeReaderStart::kStarted;
}

// True when a client has connected to the pipe, even if the reader has not
// woken up to that yet: the pipe then holds data or reports its closed end.
bool ProgressPipeReader::ClientCameToPipe() const {
  if (shared->clientConnected) return true;
  DWORD available = 0;
  if (PeekNamedPipe(pipe.get(), nullptr, 0, nullptr, &available, nullptr)) return true;
  return GetLastError() == ERROR_BROKEN_PIPE;
}

std::wstring ProgressPipeReader::Stop(DWORD drainMs) {
  if (shared && reader.Running()) {
    // The installer has ended, so its end is closed: a connected reader reads
    // what is left and ends by itself (unless a process it started kept the
    // end open).
    if (drainMs > 0 && ClientCameToPipe()) WaitForSingleObject(readerEnded.get(), drainMs);
    shared->stopped = true;
    SetEvent(shared->event.get());
    reader.Join();
  }
  if (shared) {
    shared->stopped = true;
    shared->event.reset();
  }
  pipe.reset();
  // Taken once: a later Stop (the destructor's) returns "".
  std::wstring failure;
  failure.swap(readerFailure);
  return failure;
}
