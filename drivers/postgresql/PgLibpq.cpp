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
  if (types_.empty()) {
    // Room for the usual statement's values at once.
    types_.reserve(8);
    values_.reserve(8);
  }
  types_.push_back(Type);
  values_.emplace_back(Bytes);
}

TPgParams::TWire::TWire(const TPgParams& Params) {
  const std::size_t n = Params.values_.size();
  if (n > kInline) {
    moreValues_.resize(n);
    moreLengths_.resize(n);
    moreFormats_.resize(n);
    values_ = moreValues_.data();
    lengths_ = moreLengths_.data();
    formats_ = moreFormats_.data();
  }
  for (std::size_t i = 0; i < n; ++i) {
    values_[i] = Params.values_[i].data();
    lengths_[i] = static_cast<int>(Params.values_[i].size());
    formats_[i] = 1;
  }
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
  // The server forgets a session's prepared statements with the session.
  statements_.clear();
  preparedCount_ = 0;
  nextName_ = 0;
  stale_ = false;
  staleName_.clear();
}

bool TPgConnection::Healthy() const {
  return conn_ && PQstatus(conn_.get()) == CONNECTION_OK;
}

namespace {

// The most statements one connection keeps prepared; beyond that they run
// unprepared, so a program that makes up ever new statements does not grow
// the server's memory without end.
constexpr std::size_t kMaxPrepared = 512;

TPgResult LostRoundTrip(PGconn* Conn) {
  return TPgResult(Conn ? PQmakeEmptyPGresult(Conn, PGRES_FATAL_ERROR) : nullptr);
}

// A result of the pipeline and the null that ends it; null when there is
// none (the connection failed).
PGresult* NextResult(PGconn* Conn) {
  PGresult* r = PQgetResult(Conn);
  if (r == nullptr) return nullptr;
  while (PGresult* extra = PQgetResult(Conn)) PQclear(extra);
  return r;
}

}  // namespace

const std::string* TPgConnection::Prepared(const std::string& Sql,
                                           const std::vector<Oid>& Types) const {
  const auto found = statements_.find(Sql);
  if (found == statements_.end()) return nullptr;
  for (const TStatement& s : found->second) {
    if (s.Types == Types) return &s.Name;
  }
  return nullptr;
}

bool TPgConnection::Send(const std::string& Sql, const TPgParams& Params, bool Once, TSent& Sent) {
  PGconn* c = conn_.get();
  const TPgParams::TWire w(Params);
  Sent = TSent();
  if (!Once) {
    if (const std::string* name = Prepared(Sql, Params.types_)) {
      Sent.Name = *name;
    } else if (preparedCount_ < kMaxPrepared) {
      Sent.Name = "corvid_s" + std::to_string(++nextName_);
      Sent.Preparing = true;
      if (PQsendPrepare(c, Sent.Name.c_str(), Sql.c_str(), Params.Count(), Params.types_.data()) !=
          1) {
        return false;
      }
    }
  }
  if (Sent.Name.empty()) {
    return PQsendQueryParams(c, Sql.c_str(), Params.Count(), Params.types_.data(), w.Values(),
                             w.Lengths(), w.Formats(), 1) == 1;
  }
  return PQsendQueryPrepared(c, Sent.Name.c_str(), Params.Count(), w.Values(), w.Lengths(),
                             w.Formats(), 1) == 1;
}

TPgResult TPgConnection::Collect(const std::string& Sql, const TPgParams& Params,
                                 const TSent& Sent) {
  PGconn* c = conn_.get();
  TPgResult prepare;
  if (Sent.Preparing) {
    prepare = TPgResult(NextResult(c));
    if (!prepare.Get()) return prepare;
    // A prepare that failed (in an aborted transaction, say) left nothing
    // on the server; one that succeeded stays through any rollback.
    if (prepare.Ok()) {
      statements_[Sql].push_back({Params.types_, Sent.Name});
      ++preparedCount_;
    }
  }
  TPgResult result(NextResult(c));
  if (Sent.Preparing && !prepare.Ok()) return prepare;
  if (result.Get() && !result.Ok()) CheckStale(result, Sql, Params, Sent);
  return result;
}

void TPgConnection::CheckStale(const TPgResult& Result, const std::string& Sql,
                               const TPgParams& Params, const TSent& Sent) {
  if (Sent.Name.empty() || Sent.Preparing) return;
  const std::string state = Result.SqlState();
  // 26000: the server has no statement of that name; 0A000 with this
  // message: the table changed so that the statement's result would.
  const bool stale =
      state == "26000" ||
      (state == "0A000" &&
       Result.ErrorMessage().find("cached plan must not change result type") != std::string::npos);
  if (!stale) return;
  stale_ = true;
  if (state == "0A000") staleName_ = Sent.Name;
  const auto found = statements_.find(Sql);
  if (found == statements_.end()) return;
  std::erase_if(found->second, [&](const TStatement& S) { return S.Types == Params.types_; });
  if (found->second.empty()) statements_.erase(found);
  --preparedCount_;
}

bool TPgConnection::RetryStale() {
  if (!stale_ || !conn_) return false;
  const PGTransactionStatusType status = PQtransactionStatus(conn_.get());
  if (status != PQTRANS_IDLE && status != PQTRANS_INTRANS) return false;
  if (!staleName_.empty()) {
    TPgResult(PQexec(conn_.get(), ("deallocate " + staleName_).c_str()));
    staleName_.clear();
  }
  return true;
}

void TPgConnection::ForgetStatements() {
  if (statements_.empty()) return;
  std::string sql;
  for (const auto& [text, variants] : statements_) {
    for (const TStatement& s : variants) sql += "deallocate " + s.Name + ";";
  }
  statements_.clear();
  preparedCount_ = 0;
  // In an aborted transaction the server refuses; the statements then stay
  // there under names this connection does not use again.
  if (Healthy() && PQtransactionStatus(conn_.get()) != PQTRANS_INERROR) {
    TPgResult(PQexec(conn_.get(), sql.c_str()));
  }
}

TPgResult TPgConnection::ExecOnceOrPrepared(const std::string& Sql, const TPgParams& Params,
                                            bool Once) {
  stale_ = false;
  staleName_.clear();
  if (!Once) {
    // A known statement runs by name in a round trip of its own; a new one
    // is prepared and run in one pipelined round trip.
    if (const std::string* name = Prepared(Sql, Params.types_)) {
      const TPgParams::TWire w(Params);
      TSent sent;
      sent.Name = *name;
      TPgResult r(PQexecPrepared(conn_.get(), name->c_str(), Params.Count(), w.Values(),
                                 w.Lengths(), w.Formats(), 1));
      if (r.Get() && !r.Ok()) CheckStale(r, Sql, Params, sent);
      return r;
    }
    if (preparedCount_ < kMaxPrepared) {
      TPgResult results[3];
      if (!ExecPipelined(std::string(), Sql, Params, std::string(), false, results)) {
        return LostRoundTrip(conn_.get());
      }
      return std::move(results[1]);
    }
  }
  const TPgParams::TWire w(Params);
  return TPgResult(PQexecParams(conn_.get(), Sql.c_str(), Params.Count(), Params.types_.data(),
                                w.Values(), w.Lengths(), w.Formats(), 1));
}

TPgResult TPgConnection::Exec(const std::string& Sql, const TPgParams& Params) {
  TPgResult r = ExecOnceOrPrepared(Sql, Params, false);
  if (!r.Ok() && RetryStale()) r = ExecOnceOrPrepared(Sql, Params, false);
  return r;
}

TPgResult TPgConnection::Exec(const std::string& Sql) {
  return Exec(Sql, TPgParams());
}

TPgResult TPgConnection::ExecOnce(const std::string& Sql, const TPgParams& Params) {
  return ExecOnceOrPrepared(Sql, Params, true);
}

bool TPgConnection::ExecPipelined(const std::string& Before, const std::string& Sql,
                                  const TPgParams& Params, const std::string& After, bool Once,
                                  TPgResult (&Results)[3]) {
  stale_ = false;
  staleName_.clear();
  PGconn* c = conn_.get();
  if (c == nullptr || PQenterPipelineMode(c) != 1) return false;
  const TPgParams none;
  TSent sent[3];
  const bool queued =
      (Before.empty() || Send(Before, none, false, sent[0])) && Send(Sql, Params, Once, sent[1]) &&
      (After.empty() || Send(After, none, false, sent[2])) && PQpipelineSync(c) == 1;
  // Collect the results and the sync point.
  bool synced = false;
  if (queued) {
    const std::string* texts[3] = {&Before, &Sql, &After};
    bool lost = false;
    for (int q = 0; q < 3 && !lost; ++q) {
      if ((q == 0 && Before.empty()) || (q == 2 && After.empty())) continue;
      Results[q] = Collect(*texts[q], q == 1 ? Params : none, sent[q]);
      lost = Results[q].Get() == nullptr;
    }
    if (!lost) {
      PGresult* sync = PQgetResult(c);
      synced = sync != nullptr && PQresultStatus(sync) == PGRES_PIPELINE_SYNC;
      PQclear(sync);
    }
  }
  PQexitPipelineMode(c);
  return queued && synced;
}

TPgResult TPgConnection::ExecUnderSavepoint(const std::string& Sql, const TPgParams& Params,
                                            const std::string& Savepoint, bool Once) {
  for (int attempt = 0;; ++attempt) {
    TPgResult results[3];
    if (!ExecPipelined("savepoint " + Savepoint, Sql, Params, "release savepoint " + Savepoint,
                       Once, results)) {
      return LostRoundTrip(conn_.get());
    }
    if (!results[0].Ok()) return std::move(results[0]);
    if (!results[1].Ok()) {
      TPgResult undo(PQexec(conn_.get(), ("rollback to savepoint " + Savepoint).c_str()));
      // Back at the savepoint, a statement that failed for being stale
      // can run again, prepared anew.
      if (attempt == 0 && RetryStale()) continue;
      return std::move(results[1]);
    }
    if (!results[2].Ok()) return std::move(results[2]);
    return std::move(results[1]);
  }
}

TPgResult TPgConnection::ExecAfter(const std::string& First, const std::string& Sql,
                                   const TPgParams& Params) {
  TPgResult results[3];
  if (!ExecPipelined(First, Sql, Params, std::string(), false, results)) {
    return LostRoundTrip(conn_.get());
  }
  if (!First.empty() && !results[0].Ok()) return std::move(results[0]);
  return std::move(results[1]);
}

TPgResult TPgConnection::ExecText(const std::string& Sql) {
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
