// Recordset: the rows of a statement and a cursor over them. Rows are held
// in the provider's row store (the client cursor, adUseClient: static,
// scrollable, exact RecordCount; a server cursor, the default, reads the
// same store forward-only with RecordCount -1). Navigation, field values,
// AddNew / Update / Delete written through to the base table, Requery,
// Sort, Filter, Find, GetRows and GetString, with the RecordsetEvents.
// A recordset whose statement still runs in the background (adAsyncExecute)
// reports executing (4), then fetching (8) once the rows wait to be handed
// over, and open (1) once they are; member calls that need the rows before
// the statement finished raise 3711.
// Apartment-thread only.
#pragma once
#include <memory>
#include <optional>
#include <vector>

#include "platform/adodb/adodb_events.h"
#include "platform/adodb/adodb_values.h"
#include "platform/automation/variant_convert.h"
#include "platform/adodb/adodb_weak.h"
#include "platform/adodb/properties.h"
#include "platform/adodb/statement.h"

namespace tarnel::adodb {

class Command;
class Connection;
class Error;
class Field;
class Fields;

class Recordset final : public EventSourceObject<Recordset> {
 public:
  Recordset();
  ~Recordset() override;
  static const TypeInfo& Type();
  static const CoClassInfo* Class();
  WeakRef<Recordset> WeakSelf() const { return anchor_.Ref(); }

  // _Recordset: properties.
  ComPtr<Dispatch> GetProperties();
  std::int32_t GetAbsolutePosition();
  void LetAbsolutePosition(std::int32_t& value);
  Variant GetActiveConnection();
  void LetActiveConnection(Variant& value);
  bool GetBOF();
  Variant GetBookmark();
  void LetBookmark(Variant& value);
  std::int32_t GetCacheSize() { return cacheSize_; }
  void LetCacheSize(std::int32_t& value);
  std::int32_t GetCursorType() { return cursorType_; }
  void LetCursorType(std::int32_t& value);
  bool GetEOF();
  ComPtr<Dispatch> GetFields();
  std::int32_t GetLockType() { return lockType_; }
  void LetLockType(std::int32_t& value);
  std::int32_t GetMaxRecords() { return maxRecords_; }
  void LetMaxRecords(std::int32_t& value);
  std::int32_t GetRecordCount();
  Variant GetSource();
  void LetSource(Variant& value);
  std::int32_t GetAbsolutePage();
  void LetAbsolutePage(std::int32_t& value);
  std::int32_t GetEditMode();
  Variant GetFilter() { return filter_; }
  void LetFilter(Variant& value);
  std::int32_t GetPageCount();
  std::int32_t GetPageSize() { return pageSize_; }
  void LetPageSize(std::int32_t& value);
  UString GetSort() { return sort_; }
  void LetSort(UString& value);
  std::int32_t GetStatus();
  std::int32_t GetState();
  std::int32_t GetCursorLocation() { return cursorLocation_; }
  void LetCursorLocation(std::int32_t& value);
  std::int32_t GetMarshalOptions() { return marshalOptions_; }
  void LetMarshalOptions(std::int32_t& value);
  Variant GetActiveCommand();
  Variant GetCollect(Variant& index);
  void LetCollect(Variant& index, Variant& value);

  // _Recordset: methods.
  void AddNew(Variant& fieldList, Variant& values);
  void CancelUpdate();
  void Close();
  void Delete(std::int32_t& affectRecords);
  Variant GetRows(std::int32_t& rows, Variant& start, Variant& fields);
  void Move(std::int32_t& numRecords, Variant& start);
  void MoveNext();
  void MovePrevious();
  void MoveFirst();
  void MoveLast();
  void Open(Variant& source, Variant& activeConnection, std::int32_t& cursorType, std::int32_t& lockType,
            std::int32_t& options);
  void Requery(std::int32_t& options);
  void Update(Variant& fields, Variant& values);
  void UpdateBatch(std::int32_t& affectRecords);
  void CancelBatch(std::int32_t& affectRecords);
  ComPtr<Dispatch> NextRecordset(Variant& recordsAffected);
  bool Supports(std::int32_t& cursorOptions);
  void Find(UString& criteria, std::int32_t& skipRecords, std::int32_t& searchDirection, Variant& start);
  void Cancel();
  UString GetString(std::int32_t& stringFormat, std::int32_t& numRows, Variant& columnDelimiter,
                    Variant& rowDelimiter, Variant& nullExpr);
  std::int32_t CompareBookmarks(Variant& bookmark1, Variant& bookmark2);
  void Unsupported();

  // Field access (Field, Fields, Collect). Value is the walk's hot path.
  Variant FieldValue(std::size_t col) {
    if (hasRow_) [[likely]]
      return CellVariant(*store_, row_, col);
    return FieldValueSlow(col);
  }
  // The text of FieldValue(col), as TextOf gives it.
  UString FieldText(std::size_t col) {
    if (hasRow_) [[likely]]
      return CellText(*store_, row_, col);
    return TextOf(FieldValueSlow(col));
  }
  void SetFieldValue(std::size_t col, const Variant& value);
  Variant OriginalValue(std::size_t col);
  std::int32_t ActualSize(std::size_t col);
  const provider::ColumnInfo& Column(std::size_t col) const;
  std::size_t ColumnCount() const;
  // The Fields collection's definitions of a fabricated recordset.
  std::vector<provider::ColumnInfo>& Definitions() { return definitions_; }
  bool IsOpen() const { return phase_ == Phase::Open; }
  // An identity of the current row (changes when the cursor moves).
  std::size_t CurrentRowId() const { return hasRow_ ? row_ : static_cast<std::size_t>(-1); }
  bool HasConnection() const { return connection_ || !connectionString_.empty(); }

  // For Connection (apartment thread).
  void PrepareForStatement(Connection* connection, const UString& source, std::int32_t cursorLocation,
                           std::int32_t cursorType, std::int32_t lockType, Command* command);
  void ApplyCursorRequest(std::int32_t cursorType, std::int32_t lockType);
  void SetExecutedSource(const UString& text) { executedSource_ = text; }
  void BeginPending(std::shared_ptr<AsyncSlot> slot);
  void AdoptResult(provider::Result& result);
  void AbandonPending();
  void CloseForConnection(Connection* connection);
  void RaiseFetchProgress(const provider::Result& result);
  void RaiseFetchComplete(const provider::Result& result);
  // For Record: opens as a one-row copy of another recordset's current row
  // (3021 when it has none).
  void OpenRowCopy(Recordset& from);

 private:
  enum class Phase { Closed, Pending, Open };
  // A pending change of batch mode (adLockBatchOptimistic), written by
  // UpdateBatch.
  struct Change {
    enum Kind { Insert, Modify, Remove } kind;
    std::uint32_t row;
    std::vector<provider::Value> original;
  };

  // Requirements and state.
  void RequireOpen();
  void RequireOpenSlow();
  void RequireClosed();
  void RequireUpdatable();
  void RequireScrollable();
  bool Scrollable() const { return cursorLocation_ == adUseClient || cursorType_ != adOpenForwardOnly; }
  std::int64_t Count() const { return static_cast<std::int64_t>(order_.size()); }
  void SyncRow() {
    hasRow_ = pos_ >= 0 && pos_ < Count() && !currentDeleted_;
    if (hasRow_) row_ = order_[static_cast<std::size_t>(pos_)];
  }
  Variant FieldValueSlow(std::size_t col);
  void CloseInternal();
  void BindRows(std::shared_ptr<provider::RowStore> store);
  void OpenFabricated();
  Connection* ResolveConnection(Variant& activeConnection);

  // Navigation.
  void MoveTo(std::int64_t target, std::int32_t reason, bool pastEnd);
  std::int64_t PositionOfBookmark(const Variant& bookmark);
  std::int64_t StartPosition(const Variant& start);

  // Editing (recordset_edit.cpp).
  void CommitEdit();
  void WriteChange(const Change& change);
  bool RaiseWillChangeRecord(std::int32_t reason, std::int32_t count);
  void RaiseRecordChangeComplete(std::int32_t reason, std::int32_t count, Error* error);
  void SetFieldsFromLists(Variant& fieldList, Variant& values);
  std::vector<provider::Value> RowValues(std::size_t row) const;
  void RemoveCurrentFromOrder();

  // Events.
  bool RaiseWillChangeRecordset(std::int32_t reason);
  void RaiseRecordsetChangeComplete(std::int32_t reason, Error* error);
  void ApplyOrder();

  WeakAnchor<Recordset> anchor_{this};
  Phase phase_ = Phase::Closed;
  std::shared_ptr<AsyncSlot> pending_;
  ComPtr<Connection> connection_;
  UString connectionString_;  // ActiveConnection given as text
  ComPtr<Command> command_;   // Source or ActiveCommand
  UString source_;
  UString executedSource_;
  std::int32_t commandType_ = adCmdUnknown;
  std::int32_t openOptions_ = 0;
  std::int32_t cursorLocation_ = adUseServer;
  bool cursorLocationSet_ = false;
  std::int32_t cursorType_ = adOpenForwardOnly;
  std::int32_t requestedCursorType_ = adOpenForwardOnly;
  std::int32_t lockType_ = adLockReadOnly;
  std::int32_t requestedLockType_ = adLockReadOnly;
  std::int32_t cacheSize_ = 1;
  std::int32_t maxRecords_ = 0;
  std::int32_t pageSize_ = 10;
  std::int32_t marshalOptions_ = 0;
  Variant filter_{std::int32_t{0}};
  UString sort_;

  ComPtr<Fields> fields_;
  ComPtr<Properties> properties_;
  std::vector<provider::ColumnInfo> definitions_;
  std::shared_ptr<provider::RowStore> store_;
  std::vector<std::uint32_t> order_;  // the visible rows, in cursor order
  std::int64_t pos_ = 0;              // -1 BOF, Count() EOF
  std::size_t row_ = 0;               // store row of the current record
  bool hasRow_ = false;
  bool currentDeleted_ = false;
  std::vector<provider::ResultSet> more_;  // results for NextRecordset

  std::int32_t editMode_ = adEditNone;
  std::vector<provider::Value> original_;
  std::int64_t beforeAddPos_ = 0;
  std::vector<Change> batch_;
  // Store rows that are never shown again: deleted (and written), or added
  // and then cancelled. Rows with a pending batch deletion are hidden too.
  std::vector<std::uint32_t> discardedRows_;

  int moveDepth_ = 0;    // inside WillMove / MoveComplete / EndOfRecordset
  int changeDepth_ = 0;  // inside the change events
};

}  // namespace tarnel::adodb
