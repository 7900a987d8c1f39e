// The record source: the database objects the component reads through. A Connection opens a
// database named by a connection text; a Recordset opened on it runs one command (an
// "EXEC name args" call of a stored procedure, a SELECT/WITH query, or a SHAPE command) and
// holds every record it returned; a Stream collects bytes and saves them to a file.
//
// Record sets are client-side and detached: all records are fetched by Open, RecordCount is
// exact, and reading goes on after the record set is cut from its connection or the connection
// is closed. A hierarchical record set carries one field of type 136 (chapter) per child level,
// whose value is a record set (Variant Object) of the child records of the current record.
//
// The back end is chosen from the connection text when the connection opens; callers see only
// these interfaces. Create the objects with CreateConnection, CreateRecordset and CreateStream.
//
// Errors are nimbo::Error: 91 opening a record set without a connection, 3704 using a closed
// object, 3705 changing what cannot change while open, 3021 reading a field or moving when there
// is no current record, 9 for a field index or name out of range, 3001 for an argument that is
// not allowed; database failures carry the database's own description (see err:: below).
// Thread-safety: none. One thread uses an object and everything made from it; record sets that
// share a result (chapters) must stay on that thread too.
#ifndef NIMBO_RECORD_SOURCE_H_
#define NIMBO_RECORD_SOURCE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "nimbo/export.h"
#include "nimbo/rows.h"
#include "nimbo/variant.h"

namespace nimbo {

// Error numbers of the record source beyond those in nimbo/error.h.
namespace err {
// Arguments are of the wrong type, are out of acceptable range, or are in conflict.
inline constexpr int kArgumentsWrongType = 3001;
// Writing a stream to a file failed.
inline constexpr int kWriteToFileFailed = 3004;
// Operation not allowed in this context (writing bytes to a text stream).
inline constexpr int kNotAllowedInContext = 3219;
// Operation is not allowed when the object is open.
inline constexpr int kObjectOpen = 3705;
// No back end handles the connection text.
inline constexpr int kProviderNotFound = 3706;
// The connection is closed or cannot be used.
inline constexpr int kConnectionInvalid = 3709;
// The command text is wrong: a malformed call, a SQL error, an unknown procedure, bad arguments.
// The description says what and, for a malformed call, at which character position (from 1).
inline constexpr int kCommandError = -2147217900;
// The database failed otherwise: it cannot be opened, or a statement failed while it ran.
inline constexpr int kProviderError = -2147467259;
// The command nests deeper than the record source follows (SHAPE commands: 64 levels). The
// classic "Out of stack space", refused before the stack can run out.
inline constexpr int kNestedTooDeep = 28;
// The command ran longer than the connection's CommandTimeout and was stopped (the classic
// "Query timeout expired").
inline constexpr int kQueryTimeout = -2147217871;
// The records of the command would take more memory than the connection's MaxRecordsetBytes
// (the classic "Not enough storage is available to complete this operation").
inline constexpr int kRecordsetTooLarge = -2147024882;
}  // namespace err

// The limits a new connection puts on every command: enough for a page of a million records of
// a dozen fields, far short of what a runaway query takes before anything else stops it.
inline constexpr std::int32_t kDefaultCommandTimeout = 30;                        // seconds
inline constexpr std::int64_t kDefaultMaxRecordsetBytes = std::int64_t{1} << 30;  // 1 GiB

// Object states.
inline constexpr int kStateClosed = 0;
inline constexpr int kStateOpen = 1;

// Record set settings: cursor location, cursor type and lock type. Whatever is set, record sets
// are client-side static snapshots that cannot be changed; the values are kept for the caller.
inline constexpr int kUseServer = 2;
inline constexpr int kUseClient = 3;
inline constexpr int kOpenForwardOnly = 0;
inline constexpr int kOpenKeyset = 1;
inline constexpr int kOpenDynamic = 2;
inline constexpr int kOpenStatic = 3;
inline constexpr int kLockReadOnly = 1;
inline constexpr int kLockPessimistic = 2;
inline constexpr int kLockOptimistic = 3;
inline constexpr int kLockBatchOptimistic = 4;

// Stream types and SaveToFile options.
inline constexpr int kTypeBinary = 1;
inline constexpr int kTypeText = 2;
inline constexpr int kSaveCreateNotExist = 1;
inline constexpr int kSaveCreateOverWrite = 2;

// Field type codes (the classic data type numbers) that record sets report.
namespace field_type {
inline constexpr int kSmallInt = 2;
inline constexpr int kInteger = 3;
inline constexpr int kSingle = 4;
inline constexpr int kDouble = 5;
inline constexpr int kCurrency = 6;
inline constexpr int kDate = 7;
inline constexpr int kBoolean = 11;
inline constexpr int kTinyInt = 16;
inline constexpr int kBigInt = 20;
inline constexpr int kNumeric = 131;
inline constexpr int kChapter = 136;
inline constexpr int kVarWChar = 202;
inline constexpr int kLongVarWChar = 203;
inline constexpr int kLongVarBinary = 205;
}  // namespace field_type

class NIMBO_API Connection {
 public:
  virtual ~Connection() = default;
  Connection() = default;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Opens the database named by a connection text: "key=value" pairs separated by ";", keys in
  // any letter case, values trimmed and optionally quoted ('...' or "..."). "Data Source" names
  // the database; a file path opens that SQLite file read-only, and a missing or unreadable file
  // fails without creating anything. Another program's write lock is waited for (see
  // CommandTimeout). A WAL database keeps no -wal or -shm files that this connection made once
  // it is closed and no other connection uses the database; one in a folder that cannot be
  // written is read as an unchanging file (see Warnings). A "postgresql://" or "postgres://" URI
  // as Data Source, or "Provider=PostgreSQL" with libpq keywords (host, port, dbname, user, ...),
  // opens a read-only PostgreSQL session; its password comes from libpq's own sources and is
  // never part of an error's description. Other keys are accepted and ignored.
  // On failure raises nimbo::Error (3705 when already open, 3706 when no back end takes the
  // text, err::kProviderError with the database's description otherwise) and stays closed.
  virtual void Open(std::string_view connection_text) = 0;
  // Closes the database. Record sets opened on it stay readable. Raises 3704 when closed.
  virtual void Close() = 0;
  // kStateOpen or kStateClosed.
  virtual int State() const = 0;
  // What the user should know about how the open database was opened, one sentence each: for
  // instance that a database whose folder cannot be written is read as an unchanging file.
  // Empty when there is nothing to say, and while closed.
  virtual std::vector<std::string> Warnings() const = 0;

  // How long one command (Recordset::Open) may run, in seconds, waiting for another program's
  // lock included; 0 sets no limit. Default kDefaultCommandTimeout. A command that runs longer
  // is stopped and raises err::kQueryTimeout. A lock is waited for 5 s at most, less when this
  // is shorter, by commands and by Open alike. Applies from the next command or Open. Raises
  // 3001 for a negative value.
  virtual void CommandTimeout(std::int32_t seconds) = 0;
  virtual std::int32_t CommandTimeout() const = 0;
  // How much memory the records of one record set may take, in bytes: every level of a
  // hierarchical one together, counting its cells, texts and blobs as they are held and the
  // indexes that relate its chapters; 0 sets no limit. Default kDefaultMaxRecordsetBytes. A
  // command whose records would take more is stopped before it takes it, and raises
  // err::kRecordsetTooLarge. Applies from the next command. Raises 3001 for a negative value.
  virtual void MaxRecordsetBytes(std::int64_t bytes) = 0;
  virtual std::int64_t MaxRecordsetBytes() const = 0;
};

// One column of a record set. References to fields stay valid until their record set is
// reopened or destroyed.
class NIMBO_API Field {
 public:
  virtual ~Field() = default;
  Field() = default;
  Field(const Field&) = delete;
  Field& operator=(const Field&) = delete;

  // The column's name as the query gave it. Raises 3704 when the record set is closed.
  virtual const std::string& Name() const = 0;
  // The field type code (field_type::). Raises 3704 when the record set is closed.
  virtual int Type() const = 0;
  // The value in the current record, built on each call: Null, an Integer or Long (a Double
  // beyond 32 bits), a Double, a Currency, a Date, a String, Bytes, a Boolean, or, for a chapter
  // field, an Object holding a new open record set of the current record's child records.
  // Raises 3021 at BOF or EOF, 3704 when closed, 6 for a currency amount out of range.
  virtual Variant Value() const = 0;
};

// The fields of a record set, in query order.
class NIMBO_API Fields {
 public:
  virtual ~Fields() = default;
  Fields() = default;
  Fields(const Fields&) = delete;
  Fields& operator=(const Fields&) = delete;

  // The number of fields. Raises 3704 when the record set is closed.
  virtual int Count() const = 0;
  // The field at an index from 0. Raises 9 out of range, 3704 when closed.
  virtual const Field& Item(int index) const = 0;
  // The first field with this name, compared without regard to letter case. Raises 9 when there
  // is none, 3704 when closed.
  virtual const Field& Item(std::string_view name) const = 0;
};

class NIMBO_API Recordset {
 public:
  virtual ~Recordset() = default;
  Recordset() = default;
  Recordset(const Recordset&) = delete;
  Recordset& operator=(const Recordset&) = delete;

  // The connection the next Open runs on; null cuts the record set from it (its records stay
  // readable). The record set shares ownership of the connection while it holds it.
  virtual void ActiveConnection(std::shared_ptr<Connection> connection) = 0;
  virtual std::shared_ptr<Connection> ActiveConnection() const = 0;
  // kUseServer or kUseClient (default kUseServer). Raises 3001 for another value, 3705 when open.
  virtual void CursorLocation(int value) = 0;
  virtual int CursorLocation() const = 0;
  // kOpenForwardOnly .. kOpenStatic (default kOpenForwardOnly). Raises 3001 / 3705 likewise.
  virtual void CursorType(int value) = 0;
  virtual int CursorType() const = 0;
  // kLockReadOnly .. kLockBatchOptimistic (default kLockReadOnly). Raises 3001 / 3705 likewise.
  virtual void LockType(int value) = 0;
  virtual int LockType() const = 0;

  // Runs a command on the active connection and fetches all its records, positioned on the first
  // (at EOF when there are none). The command is "EXEC name [arg [, arg]...]" (a procedure of
  // the database's catalog; arguments are numbers, '...' texts or NULL, optionally "@param =")
  // or a query (SELECT/WITH) or a SHAPE command. On failure raises nimbo::Error and stays
  // closed: 91 without a connection, 3709 when the connection is closed, 3705 when already
  // open, err::kCommandError for a malformed or rejected command (with the position of the
  // fault in a malformed call), err::kNestedTooDeep for SHAPE commands nested too deep,
  // err::kQueryTimeout and err::kRecordsetTooLarge when the connection's limits stop it,
  // err::kProviderError when the database fails.
  virtual void Open(std::string_view command) = 0;
  // Releases the records. Raises 3704 when already closed.
  virtual void Close() = 0;
  // kStateOpen or kStateClosed.
  virtual int State() const = 0;

  // The exact number of records. Raises 3704 when closed.
  virtual std::int32_t RecordCount() const = 0;
  // Moves to the first record. Raises 3021 when there are no records, 3704 when closed.
  virtual void MoveFirst() = 0;
  // Moves to the next record (to EOF after the last). Raises 3021 at EOF, 3704 when closed.
  virtual void MoveNext() = 0;
  // True after the last record (and at once when there are none). Raises 3704 when closed.
  // (Named Eof and Bof because EOF is a macro of the C library.)
  virtual bool Eof() const = 0;
  // True before the first record, which only an empty record set is. Raises 3704 when closed.
  virtual bool Bof() const = 0;
  // All records from the current one to the last, indexed (field, row); the record set is left at
  // EOF. Raises 3021 at EOF (so also for an empty record set), 3704 when closed.
  virtual Rows GetRows() = 0;
  // The fields; the reference lives as long as the record set. Using them while the record set
  // is closed raises 3704.
  virtual const nimbo::Fields& Fields() const = 0;
};

// A binary stream that collects bytes in memory and saves them to a file.
class NIMBO_API Stream {
 public:
  virtual ~Stream() = default;
  Stream() = default;
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;

  // kTypeBinary or kTypeText (default kTypeText). Raises 3001 for another value, 3705 when open.
  virtual void Type(int value) = 0;
  virtual int Type() const = 0;
  // Opens an empty stream. Raises 3705 when already open.
  virtual void Open() = 0;
  // Appends the bytes of a Bytes value. Raises 3704 when closed, 3219 on a text stream, 3001 for
  // a value that is not Bytes (Null included); nothing is appended on failure.
  virtual void Write(const Variant& data) = 0;
  // Writes every byte of the stream to a file. kSaveCreateOverWrite creates or replaces it;
  // kSaveCreateNotExist creates it and fails when it exists. Raises 3704 when closed, 3001 for
  // another option, 3004 "Write to file failed." when the file cannot be written (its path and
  // the system's reason in the error's detail); the file is replaced whole or not at all.
  virtual void SaveToFile(const std::string& path, int options) = 0;
  // Drops the bytes. Raises 3704 when already closed.
  virtual void Close() = 0;
  virtual int State() const = 0;
};

// New, closed objects owned by the caller. Never null.
NIMBO_API std::shared_ptr<Connection> CreateConnection();
NIMBO_API std::shared_ptr<Recordset> CreateRecordset();
NIMBO_API std::shared_ptr<Stream> CreateStream();

}  // namespace nimbo

#endif  // NIMBO_RECORD_SOURCE_H_
