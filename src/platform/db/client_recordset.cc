// The client-side record set: settings, opening through a connection's back end, moving and
// reading fields over a RowView.
#include "platform/db/client_recordset.h"

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "nimbo/error.h"
#include "platform/db/cell_peek.h"
#include "platform/db/client_connection.h"

namespace nimbo::db {
namespace {

class ClientRecordset;

class ClientField : public Field, public CellPeek {
 public:
  ClientField(const ClientRecordset* owner, std::size_t column) : owner_(owner), column_(column) {}
  const std::string& Name() const override;
  int Type() const override;
  Variant Value() const override;
  bool PeekText(std::string_view& text) const override;
  bool PeekNumber(PeekedNumber& number) const override;
  bool PeekChapter(std::shared_ptr<Recordset>& child) const override;

 private:
  const ClientRecordset* owner_;
  std::size_t column_;
};

class ClientFields : public Fields {
 public:
  explicit ClientFields(const ClientRecordset* owner) : owner_(owner) {}
  int Count() const override;
  const Field& Item(int index) const override;
  const Field& Item(std::string_view name) const override;

 private:
  const ClientRecordset* owner_;
};

class ClientRecordset : public Recordset {
 public:
  ClientRecordset() : fields_(this) {}

  void ActiveConnection(std::shared_ptr<Connection> connection) override {
    connection_ = std::move(connection);
  }
  std::shared_ptr<Connection> ActiveConnection() const override { return connection_; }
  void CursorLocation(int value) override {
    SetSetting(cursor_location_, value, kUseServer, kUseClient);
  }
  int CursorLocation() const override { return cursor_location_; }
  void CursorType(int value) override {
    SetSetting(cursor_type_, value, kOpenForwardOnly, kOpenStatic);
  }
  int CursorType() const override { return cursor_type_; }
  void LockType(int value) override {
    SetSetting(lock_type_, value, kLockReadOnly, kLockBatchOptimistic);
  }
  int LockType() const override { return lock_type_; }

  void Open(std::string_view command) override {
    if (open_) throw Error(err::kObjectOpen);
    if (!connection_) throw Error(err::kObjectNotSet);
    const auto* client = dynamic_cast<const ClientConnection*>(connection_.get());
    if (client == nullptr) {
      throw Error(err::kArgumentsWrongType,
                  "The active connection was not made by nimbo::CreateConnection.");
    }
    if (client->backend() == nullptr) {
      throw Error(err::kConnectionInvalid,
                  "The connection cannot be used to perform this operation. It is either closed "
                  "or invalid in this context.");
    }
    std::shared_ptr<const ResultTable> table = client->backend()->Run(command, client->limits());
    RowView view;
    view.count = table->row_count();
    view.table = std::move(table);
    Show(std::move(view));
  }

  void Close() override {
    RequireOpen();
    open_ = false;
    view_ = RowView{};
  }
  int State() const override { return open_ ? kStateOpen : kStateClosed; }

  std::int32_t RecordCount() const override {
    RequireOpen();
    return static_cast<std::int32_t>(view_.count);
  }
  void MoveFirst() override {
    RequireOpen();
    if (view_.count == 0) throw Error(err::kNoCurrentRecord);
    position_ = 0;
  }
  void MoveNext() override {
    RequireOpen();
    if (position_ >= view_.count) throw Error(err::kNoCurrentRecord);
    ++position_;
  }
  bool Eof() const override {
    RequireOpen();
    return position_ >= view_.count;
  }
  bool Bof() const override {
    RequireOpen();
    return view_.count == 0;
  }

  Rows GetRows() override {
    RequireOpen();
    if (position_ >= view_.count) throw Error(err::kNoCurrentRecord);
    const ResultTable& table = *view_.table;
    const auto field_count = static_cast<int>(table.column_count());
    Rows rows(field_count, static_cast<int>(view_.count - position_));
    for (int r = 0; position_ < view_.count; ++position_, ++r) {
      const std::uint32_t row = view_.row(position_);
      for (int f = 0; f < field_count; ++f) rows(f, r) = table.Value(f, row);
    }
    return rows;
  }

  const nimbo::Fields& Fields() const override { return fields_; }

  // Shows a view, positioned on its first row. The field objects stay when the view is of the
  // same table.
  void Show(RowView view) {
    const bool same_table = open_ && view_.table == view.table;
    view_ = std::move(view);
    position_ = 0;
    open_ = true;
    if (same_table) return;
    field_objects_.clear();
    for (std::size_t i = 0; i < view_.table->column_count(); ++i) {
      field_objects_.emplace_back(this, i);
    }
  }

  void RequireOpen() const {
    if (!open_) throw Error(err::kObjectClosed);
  }
  const ResultTable& table() const {
    RequireOpen();
    return *view_.table;
  }
  const Field& field(std::size_t index) const { return field_objects_[index]; }
  // The table row of the current record; raises 3021 at BOF/EOF.
  std::uint32_t CurrentRow() const {
    RequireOpen();
    if (position_ >= view_.count) throw Error(err::kNoCurrentRecord);
    return view_.row(position_);
  }

 private:
  void SetSetting(int& setting, int value, int lowest, int highest) {
    if (open_) throw Error(err::kObjectOpen);
    if (value < lowest || value > highest) throw Error(err::kArgumentsWrongType);
    setting = value;
  }

  std::shared_ptr<Connection> connection_;
  int cursor_location_ = kUseServer;
  int cursor_type_ = kOpenForwardOnly;
  int lock_type_ = kLockReadOnly;

  bool open_ = false;
  RowView view_;
  std::uint32_t position_ = 0;
  ClientFields fields_;
  // Field objects of the open view, a few to a block: a grouped page opens a chapter record set for
  // every parent record. Replaced when the record set is reopened.
  std::deque<ClientField> field_objects_;
};

const std::string& ClientField::Name() const { return owner_->table().column(column_).name; }

int ClientField::Type() const { return owner_->table().column(column_).type; }

Variant ClientField::Value() const {
  const std::uint32_t row = owner_->CurrentRow();
  return owner_->table().Value(column_, row);
}

bool ClientField::PeekText(std::string_view& text) const {
  return owner_->table().PeekText(column_, owner_->CurrentRow(), text);
}

bool ClientField::PeekNumber(PeekedNumber& number) const {
  return owner_->table().PeekNumber(column_, owner_->CurrentRow(), number);
}

bool ClientField::PeekChapter(std::shared_ptr<Recordset>& child) const {
  const ResultTable& table = owner_->table();
  if (!table.column(column_).chapter) return false;
  RowView view = table.ChapterRows(column_, owner_->CurrentRow());
  if (auto* reused = dynamic_cast<ClientRecordset*>(child.get()); reused != nullptr) {
    reused->Show(std::move(view));
  } else {
    child = OpenClientRecordset(std::move(view));
  }
  return true;
}

int ClientFields::Count() const { return static_cast<int>(owner_->table().column_count()); }

const Field& ClientFields::Item(int index) const {
  const ResultTable& table = owner_->table();
  if (index < 0 || static_cast<std::size_t>(index) >= table.column_count()) {
    throw Error(err::kSubscriptOutOfRange);
  }
  return owner_->field(static_cast<std::size_t>(index));
}

const Field& ClientFields::Item(std::string_view name) const {
  const int index = owner_->table().FindColumn(name);
  if (index < 0) throw Error(err::kSubscriptOutOfRange);
  return owner_->field(static_cast<std::size_t>(index));
}

}  // namespace

std::shared_ptr<Recordset> OpenClientRecordset(RowView view) {
  auto recordset = std::make_shared<ClientRecordset>();
  // A chapter is read with the settings a client-side set reports.
  recordset->CursorLocation(kUseClient);
  recordset->CursorType(kOpenStatic);
  recordset->Show(std::move(view));
  return recordset;
}

std::shared_ptr<Recordset> CreateClientRecordset() { return std::make_shared<ClientRecordset>(); }

}  // namespace nimbo::db
