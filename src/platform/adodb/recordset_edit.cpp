// Recordset editing: setting field values, AddNew, Update, CancelUpdate,
// Delete and the batch mode, with the change events, and writing a changed
// row through to its base table (INSERT / UPDATE / DELETE with the values
// bound as parameters, rows found by their key columns or, without a key,
// by all their original values; RETURNING brings generated values back).
#include "platform/adodb/adodb_error.h"
#include "platform/adodb/connection.h"
#include "platform/adodb/fields.h"
#include "platform/adodb/recordset.h"

namespace tarnel::adodb {

namespace {

constexpr DispId kWillChangeField = 9;
constexpr DispId kFieldChangeComplete = 10;
constexpr DispId kWillChangeRecord = 11;
constexpr DispId kRecordChangeComplete = 12;
constexpr HRESULT DB_E_ROWNOTFOUND = MakeHResult(0x80040E38);

struct DepthGuard {
  explicit DepthGuard(int& depth) : depth_(depth) { ++depth_; }
  ~DepthGuard() { --depth_; }
  int& depth_;
};

ComPtr<Error> ErrorOf(const ComError& e) {
  return MakeObject<Error>(provider::ErrorRecord{e.hr(), ToUtf8(e.Description()), ToUtf8(e.Source()), "", 0});
}

// An identifier quoted for both engines ("a""b"), whatever it holds (dots
// included).
std::string Quote(const std::string& name) {
  std::string out;
  out.push_back('"');
  for (char c : name) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

// The table a column comes from, qualified by its schema (or SQLite
// database) when the provider named one.
std::string QualifiedTable(const provider::ColumnInfo& column) {
  if (column.baseSchema.empty()) return Quote(column.baseTable);
  return Quote(column.baseSchema) + "." + Quote(column.baseTable);
}

}  // namespace

void Recordset::RequireUpdatable() {
  RequireOpen();
  if (lockType_ == adLockReadOnly)
    RaiseAdo(adErrFeatureNotAvailable, kSrcRecordset,
             u"Current Recordset does not support updating. This may be a limitation of the provider, or of the "
             u"selected locktype.");
}

std::vector<provider::Value> Recordset::RowValues(std::size_t row) const {
  std::vector<provider::Value> values;
  values.reserve(store_->ColumnCount());
  for (std::size_t c = 0; c < store_->ColumnCount(); ++c) values.push_back(store_->Get(row, c));
  return values;
}

Variant Recordset::OriginalValue(std::size_t col) {
  RequireOpen();
  if (!hasRow_) RaiseAdo(adErrNoCurrentRecord, kSrcField);
  if (editMode_ == adEditInProgress && col < original_.size()) return ValueVariant(original_[col], Column(col).type);
  if (editMode_ == adEditAdd) return Variant();
  for (const Change& c : batch_) {
    if (c.row == row_ && c.kind == Change::Modify && col < c.original.size())
      return ValueVariant(c.original[col], Column(col).type);
  }
  return CellVariant(*store_, row_, col);
}

bool Recordset::RaiseWillChangeRecord(std::int32_t reason, std::int32_t count) {
  if (!Wants(kWillChangeRecord, reason)) return true;
  DepthGuard guard(changeDepth_);
  std::int32_t status = adStatusOK;
  std::vector<Variant> args{Variant(reason), Variant(count), LongRef(status), ObjectArg(AsDispatch())};
  Raise(kWillChangeRecord, args, status, reason);
  if (status != adStatusCancel) return true;
  ComPtr<Error> error = MakeAdoError(adErrOperationCancelled, kSrcRecordset);
  RaiseRecordChangeComplete(reason, count, error.get());
  return false;
}

void Recordset::RaiseRecordChangeComplete(std::int32_t reason, std::int32_t count, Error* error) {
  if (!Wants(kRecordChangeComplete, reason)) return;
  DepthGuard guard(changeDepth_);
  std::int32_t status = error ? adStatusErrorsOccurred : adStatusOK;
  std::vector<Variant> args{Variant(reason), Variant(count), ObjectArg(error), LongRef(status),
                            ObjectArg(AsDispatch())};
  Raise(kRecordChangeComplete, args, status, reason);
}

void Recordset::SetFieldValue(std::size_t col, const Variant& value) {
  ComPtr<Recordset> keep(this);
  RequireUpdatable();
  if (!hasRow_) RaiseAdo(adErrNoCurrentRecord, kSrcField);
  if (changeDepth_) RaiseAdo(adErrNotReentrant, kSrcRecordset);
  provider::Value converted = ProviderValue(value, Column(col).type);
  const bool first = editMode_ == adEditNone;

  const bool fieldEvents = Wants(kWillChangeField) || Wants(kFieldChangeComplete);
  Variant fieldList;
  auto fieldComplete = [&](Error* error) {
    if (!Wants(kFieldChangeComplete)) return;
    DepthGuard guard(changeDepth_);
    std::int32_t status = error ? adStatusErrorsOccurred : adStatusOK;
    std::vector<Variant> args{Variant(std::int32_t{1}), fieldList, ObjectArg(error), LongRef(status),
                              ObjectArg(AsDispatch())};
    Raise(kFieldChangeComplete, args, status);
  };
  if (fieldEvents) {
    std::vector<Variant> one;
    one.push_back(Variant(static_cast<Dispatch*>(fields_->At(col))));
    fieldList = Variant::Array(SafeArray::Vector(VT_VARIANT, std::move(one)));
  }
  if (Wants(kWillChangeField)) {
    std::int32_t status = adStatusOK;
    {
      DepthGuard guard(changeDepth_);
      std::vector<Variant> args{Variant(std::int32_t{1}), fieldList, LongRef(status), ObjectArg(AsDispatch())};
      Raise(kWillChangeField, args, status);
    }
    if (status == adStatusCancel) {
      ComPtr<Error> error = MakeAdoError(adErrOperationCancelled, kSrcRecordset);
      fieldComplete(error.get());
      RaiseAdo(adErrOperationCancelled, kSrcRecordset);
    }
  }
  if (first && !RaiseWillChangeRecord(adRsnFirstChange, 1)) {
    ComPtr<Error> error = MakeAdoError(adErrOperationCancelled, kSrcRecordset);
    fieldComplete(error.get());
    RaiseAdo(adErrOperationCancelled, kSrcRecordset);
  }
  if (phase_ != Phase::Open || !hasRow_) RaiseAdo(adErrNoCurrentRecord, kSrcField);
  if (editMode_ == adEditNone) {
    original_ = RowValues(row_);
    editMode_ = adEditInProgress;
  }
  store_->Set(row_, col, converted);
  fieldComplete(nullptr);
  if (first) RaiseRecordChangeComplete(adRsnFirstChange, 1, nullptr);
}

void Recordset::SetFieldsFromLists(Variant& fieldList, Variant& values) {
  const Variant names = fieldList.Deref();
  const Variant data = values.Deref();
  if (names.IsArray() != data.IsArray()) RaiseAdo(adErrInvalidArgument, kSrcRecordset);
  if (!names.IsArray()) {
    auto col = fields_->Find(names);
    if (!col) RaiseAdo(adErrItemNotFound, kSrcRecordset);
    SetFieldValue(*col, data);
    return;
  }
  const std::vector<Variant>& n = names.parray()->Elements();
  const std::vector<Variant>& d = data.parray()->Elements();
  if (n.size() != d.size()) RaiseAdo(adErrInvalidArgument, kSrcRecordset);
  for (std::size_t i = 0; i < n.size(); ++i) {
    auto col = fields_->Find(n[i]);
    if (!col) RaiseAdo(adErrItemNotFound, kSrcRecordset);
    SetFieldValue(*col, d[i]);
  }
}

void Recordset::AddNew(Variant& fieldList, Variant& values) {
  ComPtr<Recordset> keep(this);
  RequireUpdatable();
  if (changeDepth_) RaiseAdo(adErrNotReentrant, kSrcRecordset);
  if (editMode_ != adEditNone) CommitEdit();
  if (!RaiseWillChangeRecord(adRsnAddNew, 1)) RaiseAdo(adErrOperationCancelled, kSrcRecordset);
  beforeAddPos_ = pos_;
  const std::size_t row = store_->AppendRow();
  order_.push_back(static_cast<std::uint32_t>(row));
  pos_ = Count() - 1;
  currentDeleted_ = false;
  SyncRow();
  editMode_ = adEditAdd;
  original_.clear();
  RaiseRecordChangeComplete(adRsnAddNew, 1, nullptr);
  const Variant names = fieldList.Deref();
  if (!names.IsMissing() && !names.IsEmpty()) {
    SetFieldsFromLists(fieldList, values);
    CommitEdit();
  }
}

void Recordset::Update(Variant& fields, Variant& values) {
  ComPtr<Recordset> keep(this);
  RequireUpdatable();
  const Variant names = fields.Deref();
  if (!names.IsMissing() && !names.IsEmpty()) SetFieldsFromLists(fields, values);
  if (editMode_ == adEditNone) return;
  CommitEdit();
}

void Recordset::CommitEdit() {
  const bool adding = editMode_ == adEditAdd;
  if (!RaiseWillChangeRecord(adRsnUpdate, 1)) RaiseAdo(adErrOperationCancelled, kSrcRecordset);
  Change change{adding ? Change::Insert : Change::Modify, static_cast<std::uint32_t>(row_), original_};
  if (lockType_ == adLockBatchOptimistic) {
    // Batch mode keeps the change (the first original of a row) for
    // UpdateBatch.
    bool merged = false;
    for (const Change& c : batch_) merged = merged || c.row == change.row;
    if (!merged) batch_.push_back(std::move(change));
  } else if (connection_) {
    try {
      WriteChange(change);
    } catch (const ComError& e) {
      RaiseRecordChangeComplete(adRsnUpdate, 1, ErrorOf(e).get());
      throw;
    }
  }
  editMode_ = adEditNone;
  original_.clear();
  RaiseRecordChangeComplete(adRsnUpdate, 1, nullptr);
}

void Recordset::CancelUpdate() {
  ComPtr<Recordset> keep(this);
  RequireOpen();
  if (editMode_ == adEditNone) return;
  if (editMode_ == adEditAdd) {
    if (!RaiseWillChangeRecord(adRsnUndoAddNew, 1)) RaiseAdo(adErrOperationCancelled, kSrcRecordset);
    discardedRows_.push_back(static_cast<std::uint32_t>(row_));
    order_.erase(order_.begin() + pos_);
    pos_ = beforeAddPos_;
    editMode_ = adEditNone;
    SyncRow();
    RaiseRecordChangeComplete(adRsnUndoAddNew, 1, nullptr);
    return;
  }
  if (!RaiseWillChangeRecord(adRsnUndoUpdate, 1)) RaiseAdo(adErrOperationCancelled, kSrcRecordset);
  for (std::size_t c = 0; c < original_.size(); ++c) store_->Set(row_, c, original_[c]);
  editMode_ = adEditNone;
  original_.clear();
  RaiseRecordChangeComplete(adRsnUndoUpdate, 1, nullptr);
}

void Recordset::RemoveCurrentFromOrder() {
  order_.erase(order_.begin() + pos_);
  currentDeleted_ = true;
  SyncRow();
}

void Recordset::Delete(std::int32_t& affectRecords) {
  ComPtr<Recordset> keep(this);
  RequireUpdatable();
  if (affectRecords < adAffectCurrent || affectRecords > adAffectAllChapters)
    RaiseAdo(adErrInvalidArgument, kSrcRecordset);
  if (affectRecords != adAffectCurrent) RaiseAdo(adErrFeatureNotAvailable, kSrcRecordset);
  if (changeDepth_) RaiseAdo(adErrNotReentrant, kSrcRecordset);
  if (!hasRow_) RaiseAdo(adErrNoCurrentRecord, kSrcRecordset);
  if (editMode_ == adEditAdd) {
    CancelUpdate();
    return;
  }
  if (!RaiseWillChangeRecord(adRsnDelete, 1)) RaiseAdo(adErrOperationCancelled, kSrcRecordset);
  std::vector<provider::Value> values = editMode_ == adEditInProgress ? original_ : RowValues(row_);
  Change change{Change::Remove, static_cast<std::uint32_t>(row_), values};
  if (lockType_ == adLockBatchOptimistic) {
    // A row added in this batch disappears without a trace.
    auto added = std::find_if(batch_.begin(), batch_.end(),
                              [&](const Change& c) { return c.row == change.row && c.kind == Change::Insert; });
    if (added != batch_.end()) {
      batch_.erase(added);
      discardedRows_.push_back(change.row);
    } else {
      std::erase_if(batch_, [&](const Change& c) { return c.row == change.row; });
      batch_.push_back(change);
    }
  } else if (connection_) {
    try {
      WriteChange(change);
    } catch (const ComError& e) {
      RaiseRecordChangeComplete(adRsnDelete, 1, ErrorOf(e).get());
      throw;
    }
  }
  if (editMode_ == adEditInProgress) {
    for (std::size_t c = 0; c < values.size(); ++c) store_->Set(row_, c, values[c]);
  }
  editMode_ = adEditNone;
  original_.clear();
  if (lockType_ != adLockBatchOptimistic) discardedRows_.push_back(static_cast<std::uint32_t>(row_));
  RemoveCurrentFromOrder();
  RaiseRecordChangeComplete(adRsnDelete, 1, nullptr);
}

void Recordset::UpdateBatch(std::int32_t& affectRecords) {
  ComPtr<Recordset> keep(this);
  RequireUpdatable();
  if (affectRecords != adAffectAll && affectRecords != adAffectCurrent && affectRecords != adAffectGroup &&
      affectRecords != adAffectAllChapters)
    RaiseAdo(adErrInvalidArgument, kSrcRecordset);
  if (editMode_ != adEditNone) CommitEdit();
  if (batch_.empty()) return;
  if (!connection_) {
    // A fabricated recordset keeps its changes; one that lost its
    // connection cannot write them.
    if (source_.empty() && !command_) {
      for (const Change& c : batch_) {
        if (c.kind == Change::Remove) discardedRows_.push_back(c.row);
      }
      batch_.clear();
      return;
    }
    RaiseAdo(adErrInvalidConnection, kSrcRecordset);
  }
  const auto count = static_cast<std::int32_t>(batch_.size());
  if (!RaiseWillChangeRecord(adRsnUpdate, count)) RaiseAdo(adErrOperationCancelled, kSrcRecordset);
  std::size_t written = 0;
  auto forget = [&] {
    for (std::size_t i = 0; i < written; ++i) {
      if (batch_[i].kind == Change::Remove) discardedRows_.push_back(batch_[i].row);
    }
    batch_.erase(batch_.begin(), batch_.begin() + static_cast<std::ptrdiff_t>(written));
  };
  try {
    for (; written < batch_.size(); ++written) WriteChange(batch_[written]);
  } catch (const ComError& e) {
    forget();
    RaiseRecordChangeComplete(adRsnUpdate, count, ErrorOf(e).get());
    throw;
  }
  forget();
  RaiseRecordChangeComplete(adRsnUpdate, count, nullptr);
}

void Recordset::CancelBatch(std::int32_t&) {
  ComPtr<Recordset> keep(this);
  RequireOpen();
  if (editMode_ != adEditNone) CancelUpdate();
  for (auto it = batch_.rbegin(); it != batch_.rend(); ++it) {
    switch (it->kind) {
      case Change::Modify:
        for (std::size_t c = 0; c < it->original.size(); ++c) store_->Set(it->row, c, it->original[c]);
        break;
      case Change::Insert:
        discardedRows_.push_back(it->row);
        break;
      case Change::Remove:
        break;  // shown again once the change is gone
    }
  }
  batch_.clear();
  ApplyOrder();
}

void Recordset::WriteChange(const Change& change) {
  const std::vector<provider::ColumnInfo>& columns = store_->Columns();
  const provider::ColumnInfo* base = nullptr;
  for (const provider::ColumnInfo& c : columns) {
    if (!c.baseTable.empty() && !c.baseColumn.empty()) {
      base = &c;
      break;
    }
  }
  if (!base)
    RaiseHResult(E_FAIL, u"Insufficient base table information for updating or refreshing.", kSrcRecordset);
  const std::string table = QualifiedTable(*base);
  std::vector<std::size_t> own;  // the columns of that table
  std::vector<std::size_t> keys;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].baseTable != base->baseTable || columns[i].baseSchema != base->baseSchema ||
        columns[i].baseColumn.empty())
      continue;
    own.push_back(i);
    if (columns[i].attributes & (adFldKeyColumn | adFldRowID)) keys.push_back(i);
  }

  provider::CommandRequest request;
  request.timeout = provider::milliseconds(std::int64_t{connection_->GetCommandTimeout()} * 1000);
  auto bind = [&](std::size_t col, const provider::Value& value) {
    provider::Parameter p;
    p.name = columns[col].baseColumn;
    p.type = columns[col].type;
    p.value = value;
    request.parameters.push_back(std::move(p));
  };
  std::string returning = " RETURNING ";
  for (std::size_t k = 0; k < own.size(); ++k) returning += (k ? ", " : "") + Quote(columns[own[k]].baseColumn);
  auto where = [&]() {
    std::string sql = " WHERE ";
    const std::vector<std::size_t>& criteria = keys.empty() ? own : keys;
    bool firstTerm = true;
    for (std::size_t col : criteria) {
      // Long values cannot be compared reliably; the key (or the other
      // columns) identifies the row.
      if (keys.empty() && (columns[col].attributes & adFldLong)) continue;
      const provider::Value& v = change.original[col];
      sql += (firstTerm ? "" : " AND ") + Quote(columns[col].baseColumn);
      firstTerm = false;
      if (v.IsNull() || v.kind == provider::CellKind::Empty) {
        sql += " IS NULL";
      } else {
        sql += " = ?";
        bind(col, v);
      }
    }
    if (firstTerm) RaiseHResult(E_FAIL, u"Insufficient base table information for updating or refreshing.", kSrcRecordset);
    return sql;
  };

  const std::size_t row = change.row;
  if (change.kind == Change::Insert) {
    std::string names, marks;
    for (std::size_t col : own) {
      if (store_->Kind(row, col) == provider::CellKind::Empty) continue;
      names += (names.empty() ? "" : ", ") + Quote(columns[col].baseColumn);
      marks += marks.empty() ? "?" : ", ?";
      bind(col, store_->Get(row, col));
    }
    request.text = "INSERT INTO " + table +
                   (names.empty() ? std::string(" DEFAULT VALUES") : " (" + names + ") VALUES (" + marks + ")") +
                   returning;
  } else if (change.kind == Change::Modify) {
    std::string assignments;
    for (std::size_t col : own) {
      const provider::Value now = store_->Get(row, col);
      if (col < change.original.size() && now == change.original[col]) continue;
      assignments += (assignments.empty() ? "" : ", ") + Quote(columns[col].baseColumn) + " = ?";
      bind(col, now);
    }
    if (assignments.empty()) return;
    request.text = "UPDATE " + table + " SET " + assignments;
    request.text += where() + returning;
  } else {
    request.text = "DELETE FROM " + table + where() + " RETURNING 1";
  }

  ComPtr<Connection> connection(connection_);
  provider::Result result = connection->RunInternal(std::move(request), kSrcRecordset, keys.empty(), true);
  if (change.kind != Change::Insert && result.recordsAffected == 0)
    RaiseHResult(DB_E_ROWNOTFOUND,
                 u"Row cannot be located for updating. Some values may have been changed since it was last read.",
                 kSrcRecordset);
  if (change.kind == Change::Remove) return;
  // The row as the table now holds it (defaults, generated keys, triggers).
  for (const provider::ResultSet& set : result.sets) {
    if (!set.rows || set.rows->RowCount() == 0) continue;
    for (std::size_t k = 0; k < own.size() && k < set.rows->ColumnCount(); ++k)
      store_->Set(row, own[k], set.rows->Get(0, k));
    break;
  }
}

}  // namespace tarnel::adodb
