/// @file
/// Small shared routines of the library and the wizard: strings and words,
/// the command line, fixed-format dates and times, paths and file searches,
/// bitmap resources, bit flags, the message pump, debug output and the
/// exception hook through which the database layer raises.
///
/// Dates and times are day numbers (TDateTime): days since 30 December 1899
/// in the integer part, the time of day in the fraction. Format strings use
/// the pattern letters yyyy, yy, m, mm, mmm (short month name), mmmm (long
/// month name), d, dd, ddd, dddd (day names), h, hh, n, nn, s, ss, z, zzz;
/// "/" stands for the date separator and ":" for the time separator; text in
/// single or double quotes is copied; any other character stands for itself.
/// An "m" right after an hour pattern means minutes. All formatting and
/// parsing is done here, independently of the C library's locale.
///
/// Paths are POSIX paths: "/" plays the role of the path delimiter, and a
/// drive colon has no meaning.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "corvid/containers/ObjRoot.h"
#include "corvid/util/OdbMiscSet.h"

namespace corvid {

class TUnorderedList;
class TBitmap;

/// A date-time value: days since 1899-12-30, the fraction being the time.
using TDateTime = double;

/// Raised when a date or time text does not match its format, or a value is
/// outside the representable dates (years 1 to 9999).
CORVID_EXCEPTION(EConvertError)

// ---------------------------------------------------------------------------
// Strings and words

/// A set of 8-bit characters: the delimiters of the word routines.
class TOdbCharSet {
 public:
  TOdbCharSet() = default;
  /// The set of the characters of Chars, e.g. TOdbCharSet(" ,;").
  TOdbCharSet(std::string_view Chars) {  // NOLINT: implicit by design
    for (char c : Chars) Include(c);
  }
  TOdbCharSet(const char* Chars) : TOdbCharSet(std::string_view(Chars)) {}  // NOLINT
  TOdbCharSet(std::initializer_list<char> Chars) {
    for (char c : Chars) Include(c);
  }

  bool Contains(char C) const { return bits_.test(static_cast<unsigned char>(C)); }
  TOdbCharSet& Include(char C) {
    bits_.set(static_cast<unsigned char>(C));
    return *this;
  }
  TOdbCharSet& Exclude(char C) {
    bits_.reset(static_cast<unsigned char>(C));
    return *this;
  }
  bool IsEmpty() const { return bits_.none(); }

 private:
  std::bitset<256> bits_;
};

/// Count copies of Ch; empty when Count <= 0.
std::string CreateStr(char Ch, std::int32_t Count);
/// S right-aligned in exactly Len characters: padded with Ch on the left when
/// shorter, otherwise its last Len characters. Empty when Len <= 0.
std::string LeftPad(std::string_view S, char Ch, std::int32_t Len);
/// S left-aligned in exactly Len characters: padded with Ch on the right when
/// shorter, otherwise its first Len characters. Empty when Len <= 0.
std::string RightPad(std::string_view S, char Ch, std::int32_t Len);
/// The first Len characters of S; S unchanged when Len < 0 or Len >= its
/// length.
std::string TruncateStr(std::string_view S, std::int32_t Len);
/// A word is a maximal run of characters not in Delims.
std::int32_t WordCount(std::string_view S, const TOdbCharSet& Delims);
/// 1-based position of the first character of the N-th word; 0 when S has
/// fewer than N words or N < 1.
std::int32_t WordPosition(std::int32_t N, std::string_view S, const TOdbCharSet& Delims);
/// The N-th word; empty when there is none.
std::string ExtractWord(std::int32_t N, std::string_view S, const TOdbCharSet& Delims);

// ---------------------------------------------------------------------------
// Command line

/// The program's arguments, argument 0 being the program itself. Read once,
/// on first use, from the operating system (/proc/self/cmdline), so the
/// application need not hand them over.
const std::vector<std::string>& ProgramArguments();
/// Replaces the arguments seen by ExtractCommandLineValue (for programs that
/// get them some other way, and for embedding).
void SetProgramArguments(std::vector<std::string> Args);

/// Looks for Key, ignoring letter case, anywhere inside each program argument
/// from the first (argument 0 is not looked at). The first argument holding
/// it wins: Value becomes the rest of that argument after Key and the result
/// is true. Otherwise Value is empty and the result false.
/// Example: Key "/DB=" and the argument "-x/db=abc" give "abc".
bool ExtractCommandLineValue(std::string_view Key, std::string& Value);

// ---------------------------------------------------------------------------
// Format settings

/// The process-wide date, time and number settings. Initialised on first use
/// from the user's locale (the environment's LC_TIME / LC_NUMERIC), English
/// month and day names and "." when the locale is C or POSIX.
struct TOdbFormatSettings {
  std::string ShortDateFormat = "dd/mm/yyyy";
  char DateSeparator = '/';
  std::string LongTimeFormat = "hh:nn:ss";
  char TimeSeparator = ':';
  char DecimalSeparator = '.';
  std::array<std::string, 12> ShortMonthNames;
  std::array<std::string, 12> LongMonthNames;
  std::array<std::string, 7> ShortDayNames;  // Sunday first
  std::array<std::string, 7> LongDayNames;
};

/// The process-wide settings. Plain shared state: set them at start-up.
TOdbFormatSettings& OdbFormatSettings();

// ---------------------------------------------------------------------------
// Dates and times

/// Builds and splits day numbers. EncodeDate and EncodeTime raise
/// EConvertError for an impossible date or time.
TDateTime EncodeDate(std::int32_t Year, std::int32_t Month, std::int32_t Day);
TDateTime EncodeTime(std::int32_t Hour, std::int32_t Min, std::int32_t Sec, std::int32_t MSec);
void DecodeDate(TDateTime Date, std::int32_t& Year, std::int32_t& Month, std::int32_t& Day);
void DecodeTime(TDateTime Time, std::int32_t& Hour, std::int32_t& Min, std::int32_t& Sec,
                std::int32_t& MSec);
/// Formats Value with Format (the pattern letters above), using the current
/// process-wide settings for "/", ":" and names.
std::string FormatDateTime(std::string_view Format, TDateTime Value);

/// The date part of Date formatted with Format. For the length of the call
/// the process-wide short date format is Format and the date separator is
/// "." when Format contains ".", else "-" when it contains "-", else "/";
/// both are restored on every exit.
std::string DateToDateStr(TDateTime Date, std::string_view Format);
/// The date that S gives when read with Format (settings as above). Numbers
/// of up to 4 digits (year) or 2 digits (the others) are read; when two number
/// patterns follow each other without a separator, each takes exactly its
/// pattern's width. Raises EConvertError when S does not match.
TDateTime DateStrToDate(std::string_view S, std::string_view Format);
/// The time part of Time formatted with Format; the process-wide long time
/// format is Format for the length of the call.
std::string TimeToTimeStr(TDateTime Time, std::string_view Format);
/// The time that S gives when read with Format; raises EConvertError.
TDateTime TimeStrToTime(std::string_view S, std::string_view Format);
/// Eight digits yyyymmdd.
std::string DateToSortString(TDateTime Date);
/// Six digits hhnnss.
std::string TimeToSortString(TDateTime Time);
/// Fourteen digits yyyymmddhhnnss.
std::string DateTimeToSortString(TDateTime DateTime);

// ---------------------------------------------------------------------------
// Paths and files

/// Path ending in "/": "" gives "/", a path ending in "/" is unchanged.
std::string AddBackSlashToPath(std::string_view Path);
/// Path without one trailing "/".
std::string RemoveBackSlashFromPath(std::string_view Path);
/// FileName when it has a directory part, else AddBackSlashToPath(Dir) +
/// FileName; then DefaultExt (with a "." unless it starts with one) when the
/// name has no extension and DefaultExt is not empty.
std::string GetLocalObjectFileName(std::string_view Dir, std::string_view FileName,
                                   std::string_view DefaultExt);

/// Attribute bits of directory entries.
inline constexpr std::uint16_t faReadOnly = 0x01;   // no write permission
inline constexpr std::uint16_t faHidden = 0x02;     // name starts with "."
inline constexpr std::uint16_t faSysFile = 0x04;    // not a file or directory
inline constexpr std::uint16_t faDirectory = 0x10;  // a directory
inline constexpr std::uint16_t faArchive = 0x20;    // a regular file
inline constexpr std::uint16_t faAnyFile = 0x3F;

/// Empties List (a TUnorderedList declared for TStringCombo or an ancestor)
/// and fills it, in name order, with one TStringCombo without object per
/// entry of the directory of Mask whose name matches the wildcard part of
/// Mask ("*" and "?"; "*.*" matches every name) and whose attributes are 0 or
/// share a bit with Attr. "." and ".." are never listed; other directories
/// starting with "." are left out when Attr asks for directories. Each string
/// is the directory part of Mask, with a trailing "/", followed by the name;
/// a Mask without directory part searches the working directory and lists
/// bare names.
void FindFiles(std::string_view Mask, std::uint16_t Attr, TUnorderedList& List);
/// Deletes the regular files matching Mask; files that cannot be deleted are
/// skipped.
void DeleteFiles(std::string_view Mask);

/// Bitmap resources compiled into the program. Names are matched without
/// regard to letter case and cut to 127 characters. Registering a name again
/// replaces its data. Data is the bitmap's native image bytes.
void RegisterBitmapResource(std::string_view ResName, std::vector<std::uint8_t> Data);
/// A new bitmap holding the resource's bytes, or null when no resource of
/// that name was registered.
std::unique_ptr<TBitmap> LoadBitmapFromExeRes(std::string_view ResName);

// ---------------------------------------------------------------------------
// Flags

/// True when every bit of Mask is set in Flags (so always for an empty Mask).
bool AreFlagsSet(std::int32_t Flags, std::int32_t Mask);
void SetLongFlags(std::int32_t& Flags, std::int32_t Mask);
void ClearLongFlags(std::int32_t& Flags, std::int32_t Mask);
void SetWordFlags(std::uint16_t& Flags, std::uint16_t Mask);
void ClearWordFlags(std::uint16_t& Flags, std::uint16_t Mask);

// ---------------------------------------------------------------------------
// Message pump

/// Handles at most one pending message of the calling thread's queue and
/// returns whether it handled one. When that message is the quit request the
/// pump leaves (or posts again) a quit request for the main loop and sets Quit
/// to true. A user interface installs its pump with SetOdbMessagePump; without
/// one there is no queue.
using TOdbMessagePump = std::function<bool(bool& Quit)>;
/// Installs Pump; an empty function removes the pump.
void SetOdbMessagePump(TOdbMessagePump Pump);

/// Quit becomes false; then at most one pending message is handled through
/// the pump. Returns at once when there is no pump or no message.
void ProcessMessage(bool& Quit);
/// Handles messages until Milliseconds have passed (counted as an unsigned
/// 32-bit difference of GetTickCount, so a wrap of the counter is harmless)
/// or a quit request arrives, which is left for the main loop. Delay(0)
/// handles at most one message. Between polls that found no message the
/// thread yields the processor for a moment instead of spinning.
void Delay(std::int32_t Milliseconds);
/// A monotonic millisecond counter that wraps around at 2^32.
std::uint32_t GetTickCount();

// ---------------------------------------------------------------------------
// Debug output

using TDebugOutputStrProc = void (*)(const std::string& S);
using TDebugOutputIntProc = void (*)(std::int32_t Value);
/// Assign your own procedures to receive debug output; both do nothing by
/// default. The library calls DebugOutputStr only from DebugOutputStrings
/// and never calls DebugOutputInt.
extern TDebugOutputStrProc DebugOutputStr;
extern TDebugOutputIntProc DebugOutputInt;
/// Passes each line, first to last, to DebugOutputStr.
void DebugOutputStrings(const std::vector<std::string>& Strings);

// ---------------------------------------------------------------------------
// Exception hook

/// The process-wide hook through which the database layer raises. It gets
/// the exception class and a detail text and must raise.
using TOdbExceptionProc = void (*)(TClass ExceptClass, const std::string& Msg);

/// Calls the hook with ExceptClass and Msg unchanged. Never returns: should
/// an installed hook return, DefaultOdbExceptionProc raises after it. An
/// Exception the hook raises without a detail gets Msg as its detail.
[[noreturn]] void RaiseOdbException(TClass ExceptClass, const std::string& Msg);
/// Installs Proc as the hook; a null Proc reinstalls the default.
void SetOdbExceptionProc(TOdbExceptionProc Proc);
/// The hook currently installed.
TOdbExceptionProc GetOdbExceptionProc();
/// Raises an exception of class ExceptClass whose message is the class name
/// when Msg is empty, else the class name, ".", a carriage return and Msg.
/// A class that is not an exception class raises the base Exception with
/// that message. Msg is also the exception's detail (Exception::Detail).
[[noreturn]] void DefaultOdbExceptionProc(TClass ExceptClass, const std::string& Msg);

/// One readable line for an exception: the class name, ": " and the detail
/// for the database layer's messages ("EOdbKeyViolation: ByName"); the class
/// name, ": " and the message (with the detail in parentheses when the
/// message does not contain it) for the others ("EInvalidObjectType: Invalid
/// object type in TContainer (expected TContact, got TShape)"). Line breaks
/// become spaces. A std::exception that is not an Exception gives what().
std::string FormatException(const std::exception& E);

/// Convenience for raisers: RaiseOdbException(E::StaticClass(), Msg).
template <class E>
[[noreturn]] void RaiseOdb(const std::string& Msg = std::string()) {
  RaiseOdbException(E::StaticClass(), Msg);
}

}  // namespace corvid
