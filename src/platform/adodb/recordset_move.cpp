// Recordset navigation: the Move family with WillMove, MoveComplete and
// EndOfRecordset, BOF/EOF, positions, bookmarks and pages, and the bulk
// readers GetRows and GetString. MoveNext without event sinks is the walk's
// hot path: a few comparisons and no allocation.
#include <algorithm>

#include "platform/adodb/adodb_error.h"
#include "platform/adodb/connection.h"
#include "platform/adodb/fields.h"
#include "platform/adodb/recordset.h"
#include "platform/automation/variant_convert.h"

namespace tarnel::adodb {

namespace {

constexpr DispId kWillMove = 15;
constexpr DispId kMoveComplete = 16;
constexpr DispId kEndOfRecordset = 17;
constexpr HRESULT DB_E_CANTSCROLLBACKWARDS = MakeHResult(0x80040E24);

// BookmarkEnum, for the Start argument of Move and GetRows.
constexpr std::int32_t adBookmarkCurrent = 0;
constexpr std::int32_t adBookmarkFirst = 1;
constexpr std::int32_t adBookmarkLast = 2;

struct DepthGuard {
  explicit DepthGuard(int& depth) : depth_(depth) { ++depth_; }
  ~DepthGuard() { --depth_; }
  int& depth_;
};

}  // namespace

void Recordset::RequireScrollable() {
  if (!Scrollable()) RaiseHResult(DB_E_CANTSCROLLBACKWARDS, u"Rowset does not support fetching backward.", kSrcRecordset);
}

void Recordset::MoveTo(std::int64_t target, std::int32_t reason, bool pastEnd) {
  if (moveDepth_) RaiseAdo(adErrNotReentrant, kSrcRecordset);
  ComPtr<Recordset> keep(this);
  // Leaving a row that is being edited saves the edit first.
  if (editMode_ != adEditNone) CommitEdit();
  target = std::clamp<std::int64_t>(target, -1, Count());
  const bool will = Wants(kWillMove, reason);
  const bool complete = Wants(kMoveComplete, reason);
  const bool end = pastEnd && target >= Count() && Wants(kEndOfRecordset);
  if (!will && !complete && !end) {
    pos_ = target;
    currentDeleted_ = false;
    SyncRow();
    return;
  }
  DepthGuard guard(moveDepth_);
  if (will) {
    std::int32_t status = adStatusOK;
    std::vector<Variant> args{Variant(reason), LongRef(status), ObjectArg(AsDispatch())};
    Raise(kWillMove, args, status, reason);
    if (status == adStatusCancel) {
      if (complete) {
        std::int32_t done = adStatusErrorsOccurred;
        ComPtr<Error> error = MakeAdoError(adErrOperationCancelled, kSrcRecordset);
        std::vector<Variant> done_args{Variant(reason), ObjectArg(error.get()), LongRef(done), ObjectArg(AsDispatch())};
        Raise(kMoveComplete, done_args, done, reason);
      }
      RaiseAdo(adErrOperationCancelled, kSrcRecordset);
    }
    if (phase_ != Phase::Open) RaiseAdo(adErrObjectClosed, kSrcRecordset);
    target = std::clamp<std::int64_t>(target, -1, Count());
  }
  pos_ = target;
  currentDeleted_ = false;
  SyncRow();
  if (end) {
    // A handler may add rows and answer fMoreData = True; the position
    // then is wherever the handler left it.
    VariantBool more = VARIANT_FALSE;
    std::int32_t status = adStatusOK;
    std::vector<Variant> args{Variant::RefTyped(VT_BOOL, &more), LongRef(status), ObjectArg(AsDispatch())};
    Raise(kEndOfRecordset, args, status);
    SyncRow();
  }
  if (complete) {
    std::int32_t status = adStatusOK;
    std::vector<Variant> args{Variant(reason), ObjectArg(nullptr), LongRef(status), ObjectArg(AsDispatch())};
    Raise(kMoveComplete, args, status, reason);
  }
}

void Recordset::MoveNext() {
  RequireOpen();
  if (!currentDeleted_ && pos_ >= Count()) RaiseAdo(adErrNoCurrentRecord, kSrcRecordset);
  const std::int64_t target = currentDeleted_ ? pos_ : pos_ + 1;
  if (editMode_ == adEditNone && moveDepth_ == 0 && !Events().HasSinks()) [[likely]] {
    pos_ = target;
    currentDeleted_ = false;
    SyncRow();
    return;
  }
  MoveTo(target, adRsnMoveNext, true);
}

void Recordset::MovePrevious() {
  RequireOpen();
  RequireScrollable();
  if (pos_ < 0 || Count() == 0) RaiseAdo(adErrNoCurrentRecord, kSrcRecordset);
  MoveTo(pos_ - 1, adRsnMovePrevious, false);
}

void Recordset::MoveFirst() {
  RequireOpen();
  if (Count() == 0) RaiseAdo(adErrNoCurrentRecord, kSrcRecordset);
  MoveTo(0, adRsnMoveFirst, false);
}

void Recordset::MoveLast() {
  RequireOpen();
  RequireScrollable();
  if (Count() == 0) RaiseAdo(adErrNoCurrentRecord, kSrcRecordset);
  MoveTo(Count() - 1, adRsnMoveLast, false);
}

std::int64_t Recordset::PositionOfBookmark(const Variant& bookmark) {
  const Variant v = bookmark.Deref();
  if (v.IsEmpty() || v.IsNull() || v.IsMissing()) RaiseAdo(adErrInvalidArgument, kSrcRecordset);
  Variant number;
  if (Failed(ChangeType(number, v, 0, VT_R8))) RaiseAdo(adErrInvalidArgument, kSrcRecordset);
  const double d = number.dblVal();
  if (!(d >= 1 && d <= static_cast<double>(store_->RowCount()))) RaiseAdo(adErrInvalidArgument, kSrcRecordset);
  const auto row = static_cast<std::uint32_t>(d - 1);
  auto it = std::find(order_.begin(), order_.end(), row);
  if (it == order_.end()) RaiseAdo(adErrInvalidArgument, kSrcRecordset);
  return it - order_.begin();
}

std::int64_t Recordset::StartPosition(const Variant& start) {
  const Variant v = start.Deref();
  if (v.IsMissing() || v.IsEmpty()) return pos_;
  if (v.vt() == VT_I4 || v.vt() == VT_I2) {
    const std::int32_t which = v.vt() == VT_I4 ? v.lVal() : v.iVal();
    switch (which) {
      case adBookmarkCurrent: return pos_;
      case adBookmarkFirst: return 0;
      case adBookmarkLast: return Count() - 1;
      default: RaiseAdo(adErrInvalidArgument, kSrcRecordset);
    }
  }
  return PositionOfBookmark(v);
}

void Recordset::Move(std::int32_t& numRecords, Variant& start) {
  RequireOpen();
  const bool bof = GetBOF();
  const bool eof = GetEOF();
  if (bof && eof) RaiseAdo(adErrNoCurrentRecord, kSrcRecordset);
  const bool fromStart = !start.Deref().IsMissing() && !start.Deref().IsEmpty();
  if (!fromStart) {
    if (numRecords == 0 && !hasRow_) RaiseAdo(adErrNoCurrentRecord, kSrcRecordset);
    if (numRecords < 0 && bof) RaiseAdo(adErrNoCurrentRecord, kSrcRecordset);
    if (numRecords > 0 && eof) RaiseAdo(adErrNoCurrentRecord, kSrcRecordset);
  }
  std::int64_t base = StartPosition(start);
  if (numRecords < 0 || (fromStart && base + numRecords < pos_)) RequireScrollable();
  std::int64_t target = base + numRecords;
  if (!fromStart && currentDeleted_ && numRecords > 0) target -= 1;
  MoveTo(target, adRsnMove, numRecords > 0);
}

bool Recordset::GetBOF() {
  RequireOpen();
  return pos_ < 0 || Count() == 0;
}

bool Recordset::GetEOF() {
  RequireOpen();
  return Count() == 0 || (pos_ >= Count() && !currentDeleted_);
}

std::int32_t Recordset::GetAbsolutePosition() {
  RequireOpen();
  if (!Scrollable()) return adPosUnknown;
  if (pos_ < 0 || Count() == 0) return adPosBOF;
  if (pos_ >= Count()) return adPosEOF;
  return static_cast<std::int32_t>(pos_ + 1);
}

void Recordset::LetAbsolutePosition(std::int32_t& value) {
  RequireOpen();
  RequireScrollable();
  if (value < 1 || value > Count()) RaiseAdo(adErrInvalidArgument, kSrcRecordset);
  MoveTo(value - 1, adRsnMove, false);
}

Variant Recordset::GetBookmark() {
  RequireOpen();
  if (!Scrollable()) RaiseAdo(adErrFeatureNotAvailable, kSrcRecordset);
  if (!hasRow_) RaiseAdo(adErrNoCurrentRecord, kSrcRecordset);
  return Variant(static_cast<double>(row_) + 1);
}

void Recordset::LetBookmark(Variant& value) {
  RequireOpen();
  if (!Scrollable()) RaiseAdo(adErrFeatureNotAvailable, kSrcRecordset);
  MoveTo(PositionOfBookmark(value), adRsnMove, false);
}

std::int32_t Recordset::CompareBookmarks(Variant& bookmark1, Variant& bookmark2) {
  RequireOpen();
  constexpr std::int32_t adCompareLessThan = 0, adCompareEqual = 1, adCompareGreaterThan = 2;
  const std::int64_t a = PositionOfBookmark(bookmark1);
  const std::int64_t b = PositionOfBookmark(bookmark2);
  return a < b ? adCompareLessThan : a == b ? adCompareEqual : adCompareGreaterThan;
}

std::int32_t Recordset::GetPageCount() {
  RequireOpen();
  if (!Scrollable()) return -1;
  return static_cast<std::int32_t>((Count() + pageSize_ - 1) / pageSize_);
}

std::int32_t Recordset::GetAbsolutePage() {
  RequireOpen();
  if (!Scrollable()) return adPosUnknown;
  if (pos_ < 0 || Count() == 0) return adPosBOF;
  if (pos_ >= Count()) return adPosEOF;
  return static_cast<std::int32_t>(pos_ / pageSize_ + 1);
}

void Recordset::LetAbsolutePage(std::int32_t& value) {
  RequireOpen();
  RequireScrollable();
  if (value < 1 || std::int64_t{value - 1} * pageSize_ >= Count()) RaiseAdo(adErrInvalidArgument, kSrcRecordset);
  MoveTo(std::int64_t{value - 1} * pageSize_, adRsnMove, false);
}

std::int32_t Recordset::GetEditMode() {
  RequireOpen();
  if (!hasRow_ && editMode_ == adEditNone) RaiseAdo(adErrNoCurrentRecord, kSrcRecordset);
  return editMode_;
}

std::int32_t Recordset::GetStatus() {
  RequireOpen();
  if (!hasRow_) RaiseAdo(adErrNoCurrentRecord, kSrcRecordset);
  if (editMode_ == adEditAdd) return adRecNew;
  if (editMode_ == adEditInProgress) return adRecModified;
  for (const Change& c : batch_) {
    if (c.row != row_) continue;
    return c.kind == Change::Insert ? adRecNew : c.kind == Change::Modify ? adRecModified : adRecDeleted;
  }
  return adRecUnmodified;
}

Variant Recordset::GetCollect(Variant& index) {
  RequireOpen();
  auto col = fields_->Find(index);
  if (!col) RaiseAdo(adErrItemNotFound, kSrcRecordset);
  return FieldValue(*col);
}

void Recordset::LetCollect(Variant& index, Variant& value) {
  RequireOpen();
  auto col = fields_->Find(index);
  if (!col) RaiseAdo(adErrItemNotFound, kSrcRecordset);
  SetFieldValue(*col, value);
}

std::int32_t Recordset::ActualSize(std::size_t col) {
  RequireOpen();
  if (!hasRow_) RaiseAdo(adErrNoCurrentRecord, kSrcField);
  switch (store_->Kind(row_, col)) {
    case provider::CellKind::Null:
    case provider::CellKind::Empty: return 0;
    case provider::CellKind::Text: return static_cast<std::int32_t>(store_->TextUtf16(row_, col).size());
    case provider::CellKind::Blob:
    case provider::CellKind::Numeric: return static_cast<std::int32_t>(store_->Bytes(row_, col).size());
    default: return Column(col).definedSize;
  }
}

// --- Bulk readers ----------------------------------------------------------------

Variant Recordset::GetRows(std::int32_t& rows, Variant& start, Variant& fields) {
  RequireOpen();
  if (rows < -1) RaiseAdo(adErrInvalidArgument, kSrcRecordset);
  const Variant s = start.Deref();
  if (!s.IsMissing() && !s.IsEmpty()) {
    const std::int64_t at = StartPosition(s);
    if (at < pos_) RequireScrollable();
    pos_ = at;
    currentDeleted_ = false;
    SyncRow();
  }
  if (!hasRow_) RaiseAdo(adErrNoCurrentRecord, kSrcRecordset);

  // The columns: all, one name or ordinal, or an array of them.
  std::vector<std::size_t> columns;
  const Variant f = fields.Deref();
  if (f.IsMissing() || f.IsEmpty()) {
    for (std::size_t c = 0; c < ColumnCount(); ++c) columns.push_back(c);
  } else if (f.IsArray()) {
    for (const Variant& e : f.parray()->Elements()) {
      auto c = fields_->Find(e);
      if (!c) RaiseAdo(adErrItemNotFound, kSrcRecordset);
      columns.push_back(*c);
    }
  } else {
    auto c = fields_->Find(f);
    if (!c) RaiseAdo(adErrItemNotFound, kSrcRecordset);
    columns.push_back(*c);
  }

  const std::int64_t available = Count() - pos_;
  const std::int64_t n = rows == -1 ? available : std::min<std::int64_t>(rows, available);
  auto array = std::make_unique<SafeArray>(
      VT_VARIANT, std::vector<SafeArray::Bound>{{0, static_cast<std::uint32_t>(columns.size())},
                                                {0, static_cast<std::uint32_t>(n)}});
  std::vector<Variant>& cells = array->Elements();
  for (std::int64_t r = 0; r < n; ++r) {
    const std::size_t storeRow = order_[static_cast<std::size_t>(pos_ + r)];
    for (std::size_t k = 0; k < columns.size(); ++k)
      cells[static_cast<std::size_t>(r) * columns.size() + k] = CellVariant(*store_, storeRow, columns[k]);
  }
  pos_ += n;
  SyncRow();
  return Variant::Array(std::move(array));
}

UString Recordset::GetString(std::int32_t& stringFormat, std::int32_t& numRows, Variant& columnDelimiter,
                             Variant& rowDelimiter, Variant& nullExpr) {
  RequireOpen();
  if (stringFormat != adClipString || numRows < -1) RaiseAdo(adErrInvalidArgument, kSrcRecordset);
  if (!hasRow_) RaiseAdo(adErrNoCurrentRecord, kSrcRecordset);
  auto textOr = [](const Variant& v, const char16_t* fallback) {
    const Variant d = v.Deref();
    if (d.IsMissing() || d.IsEmpty()) return UString(fallback);
    return TextOf(d);
  };
  const UString columnText = textOr(columnDelimiter, u"\t");
  const UString rowText = textOr(rowDelimiter, u"\r");
  const UString nullText = textOr(nullExpr, u"");
  const std::int64_t available = Count() - pos_;
  const std::int64_t n = numRows == -1 ? available : std::min<std::int64_t>(numRows, available);
  UString out;
  for (std::int64_t r = 0; r < n; ++r) {
    const std::size_t storeRow = order_[static_cast<std::size_t>(pos_ + r)];
    for (std::size_t c = 0; c < ColumnCount(); ++c) {
      if (c) out += columnText;
      Variant v = CellVariant(*store_, storeRow, c);
      out += v.IsNull() ? nullText : TextOf(v);
    }
    out += rowText;
  }
  pos_ += n;
  SyncRow();
  return out;
}

}  // namespace tarnel::adodb
