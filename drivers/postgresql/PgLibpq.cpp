#include "corvid/drivers/postgresql/PgLibpq.h"

#include <bit>
#include <cctype>
#include <cstring>
#include <type_traits>

namespace corvid::pgsql {

namespace {

// Network byte order (big-endian) conversions of the binary wire format.
template <class T>
std::string ToNetwork(T Value) {
  static_assert(std::is_integral_v<T>);
  using U = std::make_unsigned_t<T>;
  U v = static_cast<U>(Value);
  std::string out(sizeof(T), '\0');
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    out[sizeof(T) - 1 - i] = static_cast<char>(v & 0xFF);
    v = static_cast<U>(v >> 8);
  }
  return out;
}

template <class T>
T FromNetwork(std::string_view Bytes) {
  using U = std::make_unsigned_t<T>;
  U v = 0;
  for (std::size_t i = 0; i < sizeof(T) && i < Bytes.size(); ++i) {
    v = static_cast<U>((v << 8) | static_cast<unsigned char>(Bytes[i]));
  }
  return static_cast<T>(v);
}

std::string TrimLineBreaks(std::string S) {
  while (!S.empty() && (S.back() == '\n' || S.back() == '\r' || S.back() == ' ')) S.pop_back();
  return S;
}

}  // namespace

// ---------------------------------------------------------------------------
// TPgParams

void TPgParams::AddInt4(std::int32_t Value) {
  AddRaw(kOidInt4, ToNetwork(Value));
}

void TPgParams::AddInt8(std::int64_t Value) {
  AddRaw(kOidInt8, ToNetwork(Value));
}

void TPgParams::AddFloat8(double Value) {
  AddRaw(kOidFloat8, ToNetwork(std::bit_cast<std::uint64_t>(Value)));
}

void TPgParams::AddText(std::string_view Value) {
  AddRaw(kOidText, Value);
}

void TPgParams::AddBytea(std::string_view Value) {
  AddRaw(kOidBytea, Value);
}

void TPgParams::AddRaw(Oid Type, std::string_view Bytes) {
  types_.push_back(Type);
  values_.emplace_back(Bytes);
}

TPgParams::TWire TPgParams::Wire() const {
  TWire w;
  for (const std::string& v : values_) {
    w.Values.push_back(v.data());
    w.Lengths.push_back(static_cast<int>(v.size()));
    w.Formats.push_back(1);
  }
  return w;
}

// ---------------------------------------------------------------------------
// TPgResult

bool TPgResult::Ok() const {
  if (!result_) return false;
  const ExecStatusType status = PQresultStatus(result_.get());
  return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

std::string TPgResult::SqlState() const {
  if (!result_) return std::string();
  const char* s = PQresultErrorField(result_.get(), PG_DIAG_SQLSTATE);
  return s ? std::string(s) : std::string();
}

std::string TPgResult::ErrorMessage() const {
  if (!result_) return "no result (out of memory or connection lost)";
  const char* s = PQresultErrorMessage(result_.get());
  return TrimLineBreaks(s ? std::string(s) : std::string());
}

std::string TPgResult::Constraint() const {
  if (!result_) return std::string();
  const char* s = PQresultErrorField(result_.get(), PG_DIAG_CONSTRAINT_NAME);
  return s ? std::string(s) : std::string();
}

int TPgResult::Rows() const {
  return result_ ? PQntuples(result_.get()) : 0;
}

int TPgResult::Columns() const {
  return result_ ? PQnfields(result_.get()) : 0;
}

int TPgResult::ColumnIndex(const char* Name) const {
  return result_ ? PQfnumber(result_.get(), Name) : -1;
}

Oid TPgResult::ColumnType(int Column) const {
  return PQftype(result_.get(), Column);
}

bool TPgResult::IsNull(int Row, int Column) const {
  return PQgetisnull(result_.get(), Row, Column) != 0;
}

std::string_view TPgResult::Bytes(int Row, int Column) const {
  return std::string_view(PQgetvalue(result_.get(), Row, Column),
                          static_cast<std::size_t>(PQgetlength(result_.get(), Row, Column)));
}

std::int32_t TPgResult::Int4(int Row, int Column) const {
  return FromNetwork<std::int32_t>(Bytes(Row, Column));
}

std::int64_t TPgResult::Int8(int Row, int Column) const {
  return FromNetwork<std::int64_t>(Bytes(Row, Column));
}

std::int64_t TPgResult::Integer(int Row, int Column) const {
  const std::string_view b = Bytes(Row, Column);
  switch (b.size()) {
    case 2:
      return FromNetwork<std::int16_t>(b);
    case 4:
      return FromNetwork<std::int32_t>(b);
    default:
      return FromNetwork<std::int64_t>(b);
  }
}

std::int64_t TPgResult::AffectedRows() const {
  if (!result_) return 0;
  const char* s = PQcmdTuples(result_.get());
  return (s && *s) ? std::strtoll(s, nullptr, 10) : 0;
}

// ---------------------------------------------------------------------------
// TPgConnection

bool LooksLikeConnInfo(std::string_view Server) {
  return Server.find('=') != std::string_view::npos || Server.starts_with("postgresql://") ||
         Server.starts_with("postgres://");
}

namespace {

// The keyword/value pairs of a connection, in libpq's order of precedence:
// later entries override earlier ones, and the connection string given as
// Server is expanded where its dbname entry stands, so the timeout is only
// a default that the string may change, while user, password and database
// given separately win over the string.
class TConnectParams {
 public:
  explicit TConnectParams(const TPgConnectOptions& Options)
      : timeout_(std::to_string(Options.ConnectTimeoutSeconds)) {
    Add("connect_timeout", timeout_);
    if (LooksLikeConnInfo(Options.Server)) {
      Add("dbname", Options.Server);
    } else if (!Options.Server.empty()) {
      host_ = Options.Server;
      // host:port, unless the colon belongs to an IPv6 address.
      const std::size_t colon = host_.rfind(':');
      if (colon != std::string::npos && host_.find(':') == colon) {
        port_ = host_.substr(colon + 1);
        host_.resize(colon);
      }
      Add("host", host_);
      Add("port", port_);
    }
    Add("user", Options.User);
    Add("password", Options.Password);
    Add("dbname", Options.Database);
    Add("client_encoding", "LATIN1");
    Add("application_name", "corvid");
    keys_.push_back(nullptr);
    values_.push_back(nullptr);
  }

  const char* const* Keys() const { return keys_.data(); }
  const char* const* Values() const { return values_.data(); }

 private:
  // An empty value is left out (libpq's default applies).
  void Add(const char* Key, const std::string& Value) {
    if (Value.empty()) return;
    keys_.push_back(Key);
    values_.push_back(Value.c_str());
  }
  void Add(const char* Key, const char* Value) {
    keys_.push_back(Key);
    values_.push_back(Value);
  }

  std::string timeout_, host_, port_;
  std::vector<const char*> keys_, values_;
};

}  // namespace

bool TPgConnection::Connect(const TPgConnectOptions& Options, std::string& Error) {
  Disconnect();
  const TConnectParams params(Options);
  PGconn* conn = PQconnectdbParams(params.Keys(), params.Values(), 1);
  if (conn == nullptr) {
    Error = "out of memory";
    return false;
  }
  if (PQstatus(conn) != CONNECTION_OK) {
    Error = TrimLineBreaks(PQerrorMessage(conn));
    PQfinish(conn);
    return false;
  }
  // Server notices ("table does not exist, skipping") are not errors and
  // have no reader here.
  PQsetNoticeProcessor(
      conn, [](void*, const char*) {}, nullptr);
  conn_.reset(conn);
  return true;
}

void TPgConnection::Disconnect() {
  conn_.reset();
}

bool TPgConnection::Healthy() const {
  return conn_ && PQstatus(conn_.get()) == CONNECTION_OK;
}

TPgResult TPgConnection::Exec(const std::string& Sql, const TPgParams& Params) const {
  const TPgParams::TWire w = Params.Wire();
  return TPgResult(PQexecParams(conn_.get(), Sql.c_str(), Params.Count(), Params.types_.data(),
                                w.Values.data(), w.Lengths.data(), w.Formats.data(), 1));
}

TPgResult TPgConnection::Exec(const std::string& Sql) const {
  return Exec(Sql, TPgParams());
}

bool TPgConnection::ExecPipelined(const std::string& Before, const std::string& Sql,
                                  const TPgParams& Params, const std::string& After,
                                  TPgResult (&Results)[3]) const {
  PGconn* c = conn_.get();
  const TPgParams::TWire w = Params.Wire();
  if (c == nullptr || PQenterPipelineMode(c) != 1) return false;
  auto sendPlain = [c](const std::string& Statement) {
    return Statement.empty() ||
           PQsendQueryParams(c, Statement.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0) == 1;
  };
  const bool sent =
      sendPlain(Before) &&
      PQsendQueryParams(c, Sql.c_str(), Params.Count(), Params.types_.data(), w.Values.data(),
                        w.Lengths.data(), w.Formats.data(), 1) == 1 &&
      sendPlain(After) && PQpipelineSync(c) == 1;
  // Collect the results and the sync point. Each statement's result is
  // followed by a null that ends it.
  bool synced = false;
  if (sent) {
    for (int q = 0; q < 3; ++q) {
      if ((q == 0 && Before.empty()) || (q == 2 && After.empty())) continue;
      PGresult* r = PQgetResult(c);
      if (r == nullptr) break;
      Results[q] = TPgResult(r);
      while ((r = PQgetResult(c)) != nullptr) PQclear(r);
    }
    PGresult* sync = PQgetResult(c);
    synced = sync != nullptr && PQresultStatus(sync) == PGRES_PIPELINE_SYNC;
    PQclear(sync);
  }
  PQexitPipelineMode(c);
  return sent && synced;
}

TPgResult TPgConnection::ExecUnderSavepoint(const std::string& Sql, const TPgParams& Params,
                                            const std::string& Savepoint) const {
  TPgResult results[3];
  if (!ExecPipelined("savepoint " + Savepoint, Sql, Params, "release savepoint " + Savepoint,
                     results)) {
    return TPgResult(conn_ ? PQmakeEmptyPGresult(conn_.get(), PGRES_FATAL_ERROR) : nullptr);
  }
  if (!results[0].Ok()) return std::move(results[0]);
  if (!results[1].Ok()) {
    TPgResult undo(PQexec(conn_.get(), ("rollback to savepoint " + Savepoint).c_str()));
    return std::move(results[1]);
  }
  if (!results[2].Ok()) return std::move(results[2]);
  return std::move(results[1]);
}

TPgResult TPgConnection::ExecAfter(const std::string& First, const std::string& Sql,
                                   const TPgParams& Params) const {
  TPgResult results[3];
  if (!ExecPipelined(First, Sql, Params, std::string(), results)) {
    return TPgResult(conn_ ? PQmakeEmptyPGresult(conn_.get(), PGRES_FATAL_ERROR) : nullptr);
  }
  if (!First.empty() && !results[0].Ok()) return std::move(results[0]);
  return std::move(results[1]);
}

TPgResult TPgConnection::ExecText(const std::string& Sql) const {
  return TPgResult(PQexec(conn_.get(), Sql.c_str()));
}

// ---------------------------------------------------------------------------
// Identifiers

std::string FoldIdent(std::string_view Name) {
  std::string out;
  out.reserve(Name.size());
  for (char c : Name) {
    out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  if (out.size() > 63) out.resize(63);
  return out;
}

std::string QuoteIdent(std::string_view Name) {
  std::string out = "\"";
  for (char c : FoldIdent(Name)) {
    if (c == '\0') continue;
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

}  // namespace corvid::pgsql
