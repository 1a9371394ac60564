// Internal to the PostgreSQL driver: a thin RAII layer over libpq: a connection that
// owns its PGconn, results that own their PGresult, and parameter lists that
// send every value in binary form.
//
// Nothing here raises the database layer's exceptions: a failed statement
// comes back as a result whose Ok() is false, with the server's SQLSTATE,
// message and constraint name, so that the driver can choose the exception
// class (a unique violation becomes EOdbKeyViolation naming the index).
// Only Connect raises, since there is no result to return.
#pragma once

#include <libpq-fe.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace corvid::pgsql {

// Type OIDs of the built-in types the driver binds and reads.
inline constexpr Oid kOidBytea = 17;
inline constexpr Oid kOidInt8 = 20;
inline constexpr Oid kOidInt4 = 23;
inline constexpr Oid kOidText = 25;
inline constexpr Oid kOidFloat8 = 701;

// Values of a parameterised statement, all in binary format ($1 is the first
// value added).
class TPgParams {
 public:
  void AddInt4(std::int32_t Value);
  void AddInt8(std::int64_t Value);
  void AddFloat8(double Value);
  void AddText(std::string_view Value);
  void AddBytea(std::string_view Value);
  // A value already in the binary wire format of Type (a key read back from
  // a binary result).
  void AddRaw(Oid Type, std::string_view Bytes);

  int Count() const { return static_cast<int>(types_.size()); }
  // The values in binary form, in order.
  const std::vector<std::string>& Values() const { return values_; }
  // The position ($n) the next value will take.
  int Next() const { return Count() + 1; }

 private:
  friend class TPgConnection;
  // The arrays libpq takes: pointers to the values, their lengths and
  // formats (all binary); on the stack for the usual few values.
  class TWire {
   public:
    explicit TWire(const TPgParams& Params);
    TWire(const TWire&) = delete;
    TWire& operator=(const TWire&) = delete;
    const char* const* Values() const { return values_; }
    const int* Lengths() const { return lengths_; }
    const int* Formats() const { return formats_; }

   private:
    static constexpr std::size_t kInline = 16;
    const char* inlineValues_[kInline];
    int inlineLengths_[kInline];
    int inlineFormats_[kInline];
    std::vector<const char*> moreValues_;
    std::vector<int> moreLengths_, moreFormats_;
    const char** values_ = inlineValues_;
    int* lengths_ = inlineLengths_;
    int* formats_ = inlineFormats_;
  };

  std::vector<Oid> types_;
  std::vector<std::string> values_;
};

// A statement's result. Results are read in binary format.
class TPgResult {
 public:
  TPgResult() = default;
  explicit TPgResult(PGresult* Result) : result_(Result) {}

  bool Ok() const;
  // The SQLSTATE of a failed statement ("" for success or a lost connection
  // without one).
  std::string SqlState() const;
  // The server's (or libpq's) message, without the trailing line break.
  std::string ErrorMessage() const;
  // The name of the violated constraint, "" when the server names none.
  std::string Constraint() const;

  int Rows() const;
  int Columns() const;
  // The column's position, -1 when the result has no column of that name.
  int ColumnIndex(const char* Name) const;
  Oid ColumnType(int Column) const;
  bool IsNull(int Row, int Column) const;
  // The raw bytes of a value (binary format).
  std::string_view Bytes(int Row, int Column) const;
  std::int32_t Int4(int Row, int Column) const;
  std::int64_t Int8(int Row, int Column) const;
  // Any integer column (int2, int4, int8) as a 64-bit number.
  std::int64_t Integer(int Row, int Column) const;
  // The number of rows an insert, update or delete touched.
  std::int64_t AffectedRows() const;

  PGresult* Get() const { return result_.get(); }

 private:
  struct TClear {
    void operator()(PGresult* R) const { PQclear(R); }
  };
  std::unique_ptr<PGresult, TClear> result_;
};

// Connection parameters. Server is a host name with an optional ":port", a
// socket directory, or a libpq connection string / URI.
struct TPgConnectOptions {
  std::string Server;
  std::string Database;
  std::string User;
  std::string Password;
  int ConnectTimeoutSeconds = 10;
};

// Whether Server is a connection string or URI rather than a host name.
bool LooksLikeConnInfo(std::string_view Server);

class TPgConnection {
 public:
  TPgConnection() = default;
  ~TPgConnection() = default;
  TPgConnection(const TPgConnection&) = delete;
  TPgConnection& operator=(const TPgConnection&) = delete;

  // Connects; on failure returns false and leaves libpq's message in Error.
  // The client encoding is LATIN1, so every 8-bit string travels unchanged.
  bool Connect(const TPgConnectOptions& Options, std::string& Error);
  void Disconnect();
  // Whether the connection is still usable.
  bool Healthy() const;

  // Runs one statement with binary parameters and binary results. The
  // statement is prepared on its first run (in the same round trip) and
  // runs by name from then on, so the server parses and plans it once per
  // connection; a statement the server has lost or can no longer run as
  // prepared is prepared anew and run again, unless that failure aborted
  // the open transaction.
  TPgResult Exec(const std::string& Sql, const TPgParams& Params);
  TPgResult Exec(const std::string& Sql);
  // Runs one statement unprepared (statements that run once, such as an
  // application's query or a drop table).
  TPgResult ExecOnce(const std::string& Sql, const TPgParams& Params);
  // Runs "savepoint Savepoint", the statement and "release savepoint
  // Savepoint" in one round trip (libpq's pipeline mode). When the statement
  // fails the savepoint is rolled back (a second round trip), so the open
  // transaction goes on; the statement's result is returned either way.
  // Prepared unless Once.
  TPgResult ExecUnderSavepoint(const std::string& Sql, const TPgParams& Params,
                               const std::string& Savepoint, bool Once = false);
  // Runs the statement First (without parameters) and then the statement
  // Sql in one round trip; returns the first failure, else Sql's result.
  TPgResult ExecAfter(const std::string& First, const std::string& Sql, const TPgParams& Params);
  // Runs one statement with text results (for statements whose results the
  // caller reads as text, such as DDL or transaction control).
  TPgResult ExecText(const std::string& Sql);

  // Whether the last statement failed only because its prepared form was
  // stale (the server no longer had it, or its table changed shape) while
  // the session can still run it again (no transaction was aborted by it).
  // The statement has been forgotten (and is dropped on the server now), so
  // the next run prepares it anew.
  bool RetryStale();
  // Forgets every prepared statement (and drops them on the server when it
  // can), after tables changed shape through this connection.
  void ForgetStatements();
  // The number of statements prepared on this connection.
  std::size_t PreparedCount() const { return preparedCount_; }

  PGconn* Get() const { return conn_.get(); }

 private:
  // One statement of a round trip, as sent: by name, prepared just now
  // (Preparing, a prepare result comes first), or unprepared (Name empty).
  struct TSent {
    std::string Name;
    bool Preparing = false;
  };
  // The prepared statement's name for Sql with parameters of Types, ""
  // when there is none.
  const std::string* Prepared(const std::string& Sql, const std::vector<Oid>& Types) const;
  // Queues Sql (in pipeline mode), prepared unless Once; false when libpq
  // refused to queue it.
  bool Send(const std::string& Sql, const TPgParams& Params, bool Once, TSent& Sent);
  // Collects the results of a statement queued by Send: the prepare's
  // failure, else the statement's result. Keeps a statement prepared when
  // its prepare succeeded.
  TPgResult Collect(const std::string& Sql, const TPgParams& Params, const TSent& Sent);
  // Notes a failed run of a prepared statement: when it failed for being
  // stale, it is forgotten.
  void CheckStale(const TPgResult& Result, const std::string& Sql, const TPgParams& Params,
                  const TSent& Sent);
  // Sends Before, Sql and After (each left out when empty) in one round
  // trip (libpq's pipeline mode) and puts their results in Results, in that
  // order; once one fails, the rest are skipped. False when the round trip
  // itself failed.
  bool ExecPipelined(const std::string& Before, const std::string& Sql, const TPgParams& Params,
                     const std::string& After, bool Once, TPgResult (&Results)[3]);
  TPgResult ExecOnceOrPrepared(const std::string& Sql, const TPgParams& Params, bool Once);

  struct TFinish {
    void operator()(PGconn* C) const { PQfinish(C); }
  };
  std::unique_ptr<PGconn, TFinish> conn_;
  // Prepared statements by SQL text: the parameter types and the name of
  // each.
  struct TStatement {
    std::vector<Oid> Types;
    std::string Name;
  };
  std::unordered_map<std::string, std::vector<TStatement>> statements_;
  std::size_t preparedCount_ = 0;
  // Numbers the statement names; never reused on one connection, so a name
  // forgotten here but still known to the server cannot clash.
  std::uint64_t nextName_ = 0;
  bool stale_ = false;
  // The stale statement the server still holds ("" for none).
  std::string staleName_;
};

// Quotes an identifier after folding it to lower case, so "Persons" names
// the same table as the unquoted Persons of the SQL builders, and any name
// is safe in a statement.
std::string QuoteIdent(std::string_view Name);
// The name the server gives an unquoted identifier: lower case, cut to the
// identifier limit of 63 bytes.
std::string FoldIdent(std::string_view Name);

}  // namespace corvid::pgsql
