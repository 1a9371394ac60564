// Strings and words, the command line, flags, the message pump, debug output
// and the exception hook.
#include "corvid/util/OdbMisc.h"

#include <cctype>
#include <chrono>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>
#include <utility>

namespace corvid {

// ---------------------------------------------------------------------------
// Strings and words

std::string CreateStr(char Ch, std::int32_t Count) {
  if (Count <= 0) return std::string();
  return std::string(static_cast<std::size_t>(Count), Ch);
}

std::string LeftPad(std::string_view S, char Ch, std::int32_t Len) {
  if (Len <= 0) return std::string();
  const auto len = static_cast<std::size_t>(Len);
  if (S.size() < len) return std::string(len - S.size(), Ch) + std::string(S);
  return std::string(S.substr(S.size() - len));
}

std::string RightPad(std::string_view S, char Ch, std::int32_t Len) {
  if (Len <= 0) return std::string();
  const auto len = static_cast<std::size_t>(Len);
  if (S.size() < len) return std::string(S) + std::string(len - S.size(), Ch);
  return std::string(S.substr(0, len));
}

std::string TruncateStr(std::string_view S, std::int32_t Len) {
  if (Len < 0 || static_cast<std::size_t>(Len) >= S.size()) return std::string(S);
  return std::string(S.substr(0, static_cast<std::size_t>(Len)));
}

namespace {

// The walk shared by the word routines: calls OnWord(start) with the 0-based
// start of each word until it returns false.
template <class F>
void WalkWords(std::string_view S, const TOdbCharSet& Delims, F OnWord) {
  std::size_t i = 0;
  while (i < S.size()) {
    while (i < S.size() && Delims.Contains(S[i])) ++i;
    if (i >= S.size()) return;
    if (!OnWord(i)) return;
    while (i < S.size() && !Delims.Contains(S[i])) ++i;
  }
}

}  // namespace

std::int32_t WordCount(std::string_view S, const TOdbCharSet& Delims) {
  std::int32_t count = 0;
  WalkWords(S, Delims, [&](std::size_t) {
    ++count;
    return true;
  });
  return count;
}

std::int32_t WordPosition(std::int32_t N, std::string_view S, const TOdbCharSet& Delims) {
  if (N < 1) return 0;
  std::int32_t seen = 0;
  std::int32_t pos = 0;
  WalkWords(S, Delims, [&](std::size_t start) {
    if (++seen < N) return true;
    pos = static_cast<std::int32_t>(start) + 1;
    return false;
  });
  return pos;
}

std::string ExtractWord(std::int32_t N, std::string_view S, const TOdbCharSet& Delims) {
  const std::int32_t pos = WordPosition(N, S, Delims);
  if (pos == 0) return std::string();
  std::size_t end = static_cast<std::size_t>(pos) - 1;
  while (end < S.size() && !Delims.Contains(S[end])) ++end;
  return std::string(S.substr(static_cast<std::size_t>(pos) - 1, end - (pos - 1)));
}

// ---------------------------------------------------------------------------
// Command line

namespace {

std::vector<std::string> ReadProcessArguments() {
  std::vector<std::string> args;
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  if (!in) return args;
  const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::size_t start = 0;
  while (start < all.size()) {
    std::size_t end = all.find('\0', start);
    if (end == std::string::npos) end = all.size();
    args.emplace_back(all, start, end - start);
    start = end + 1;
  }
  return args;
}

struct ArgumentStore {
  std::once_flag loaded;
  std::vector<std::string> args;
};

ArgumentStore& Arguments() {
  static ArgumentStore store;
  std::call_once(store.loaded, [] { store.args = ReadProcessArguments(); });
  return store;
}

std::string UpperCase(std::string_view S) {
  std::string r(S);
  for (char& c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return r;
}

}  // namespace

const std::vector<std::string>& ProgramArguments() {
  return Arguments().args;
}

void SetProgramArguments(std::vector<std::string> Args) {
  Arguments().args = std::move(Args);
}

bool ExtractCommandLineValue(std::string_view Key, std::string& Value) {
  Value.clear();
  const std::string key = UpperCase(Key);
  const std::vector<std::string>& args = ProgramArguments();
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::size_t p = UpperCase(args[i]).find(key);
    if (p == std::string::npos) continue;
    Value = args[i].substr(p + Key.size());
    return true;
  }
  return false;
}

// ---------------------------------------------------------------------------
// Flags

bool AreFlagsSet(std::int32_t Flags, std::int32_t Mask) {
  return (Flags & Mask) == Mask;
}
void SetLongFlags(std::int32_t& Flags, std::int32_t Mask) {
  Flags |= Mask;
}
void ClearLongFlags(std::int32_t& Flags, std::int32_t Mask) {
  Flags &= ~Mask;
}
void SetWordFlags(std::uint16_t& Flags, std::uint16_t Mask) {
  Flags = static_cast<std::uint16_t>(Flags | Mask);
}
void ClearWordFlags(std::uint16_t& Flags, std::uint16_t Mask) {
  Flags = static_cast<std::uint16_t>(Flags & ~Mask);
}

// ---------------------------------------------------------------------------
// Message pump

namespace {

TOdbMessagePump& Pump() {
  static TOdbMessagePump pump;
  return pump;
}

// Handles one message through the pump; returns whether there was one.
bool PumpOne(bool& Quit) {
  Quit = false;
  TOdbMessagePump& pump = Pump();
  if (!pump) return false;
  return pump(Quit);
}

}  // namespace

void SetOdbMessagePump(TOdbMessagePump NewPump) {
  Pump() = std::move(NewPump);
}

void ProcessMessage(bool& Quit) {
  PumpOne(Quit);
}

std::uint32_t GetTickCount() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void Delay(std::int32_t Milliseconds) {
  const std::uint32_t wait = Milliseconds > 0 ? static_cast<std::uint32_t>(Milliseconds) : 0;
  const std::uint32_t start = GetTickCount();
  for (;;) {
    bool quit = false;
    const bool handled = PumpOne(quit);
    if (quit) return;
    if (static_cast<std::uint32_t>(GetTickCount() - start) >= wait) return;
    // Nothing was pending: give the processor away for a moment rather than
    // spinning; the pump is polled again within a millisecond.
    if (!handled) std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
}

// ---------------------------------------------------------------------------
// Debug output

namespace {
void IgnoreStr(const std::string&) {}
void IgnoreInt(std::int32_t) {}
}  // namespace

TDebugOutputStrProc DebugOutputStr = &IgnoreStr;
TDebugOutputIntProc DebugOutputInt = &IgnoreInt;

void DebugOutputStrings(const std::vector<std::string>& Strings) {
  for (const std::string& line : Strings) {
    if (DebugOutputStr != nullptr) DebugOutputStr(line);
  }
}

// ---------------------------------------------------------------------------
// Exception hook

namespace {
// Constant-initialised, so raising works from static initialisers too.
TOdbExceptionProc exceptionProc = &DefaultOdbExceptionProc;
}  // namespace

void DefaultOdbExceptionProc(TClass ExceptClass, const std::string& Msg) {
  std::string text(ExceptClass.Name());
  if (!Msg.empty()) {
    text += ".\r";
    text += Msg;
  }
  RaiseExceptionOfClass(ExceptClass, std::move(text), Msg);
}

void RaiseOdbException(TClass ExceptClass, const std::string& Msg) {
  TOdbExceptionProc proc = exceptionProc;
  if (proc != nullptr) {
    try {
      proc(ExceptClass, Msg);
    } catch (Exception& e) {
      // Whatever text a hook chose, Detail() names what failed.
      if (e.Detail().empty()) e.SetDetail(Msg);
      throw;
    }
  }
  // The hook returned without raising. Every caller relies on this call not
  // returning, so raise as the default hook would.
  DefaultOdbExceptionProc(ExceptClass, Msg);
}

void SetOdbExceptionProc(TOdbExceptionProc Proc) {
  exceptionProc = Proc != nullptr ? Proc : &DefaultOdbExceptionProc;
}

TOdbExceptionProc GetOdbExceptionProc() {
  return exceptionProc;
}

std::string FormatException(const std::exception& E) {
  const auto* e = dynamic_cast<const Exception*>(&E);
  if (e == nullptr) return E.what();
  const std::string name(e->ClassName());
  const std::string& message = e->Message();
  const std::string& detail = e->Detail();
  std::string body;
  if (message == name || message == name + ".\r" + detail) {
    // The database layer's layout: the class name is already in front.
    body = detail;
  } else {
    body = message;
    if (!detail.empty() && body.find(detail) == std::string::npos) body += " (" + detail + ")";
  }
  // Line breaks of a hook's or a message set's text would break the line.
  for (char& c : body) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return body.empty() ? name : name + ": " + body;
}

}  // namespace corvid
