// Ordering and searching a recordset's rows: Filter (a criteria string such
// as "Name LIKE 'A*' AND Age >= 30", an array of bookmarks, or the pending
// rows of a batch), Sort ("Name ASC, Age DESC") and Find. They only change
// which rows the cursor shows and in which order; the store stays as is.
#include <algorithm>
#include <cstdlib>
#include <unordered_set>

#include "platform/adodb/adodb_error.h"
#include "platform/adodb/fields.h"
#include "platform/adodb/provider/date_text.h"
#include "platform/adodb/recordset.h"
#include "platform/automation/variant_convert.h"

namespace tarnel::adodb {

namespace {

enum class Op { Eq, Ne, Lt, Gt, Le, Ge, Like };

// One comparison of a criteria string, or an AND / OR of two.
struct Criterion {
  enum class Kind { Compare, And, Or } kind = Kind::Compare;
  std::size_t column = 0;
  Op op = Op::Eq;
  Variant literal;
  std::unique_ptr<Criterion> left, right;
};

class CriteriaParser {
 public:
  CriteriaParser(const UString& text, Fields& fields) : s_(text), fields_(fields) {}

  std::unique_ptr<Criterion> Parse(bool allowLogic) {
    auto c = allowLogic ? ParseOr() : ParseCompare();
    Skip();
    if (i_ != s_.size()) Fail();
    return c;
  }

 private:
  [[noreturn]] void Fail() { RaiseAdo(adErrInvalidArgument, kSrcRecordset); }
  void Skip() {
    while (i_ < s_.size() && (s_[i_] == u' ' || s_[i_] == u'\t')) ++i_;
  }
  bool Keyword(UStringView word) {
    Skip();
    if (s_.size() - i_ < word.size() || !EqualsNoCase(UStringView(s_).substr(i_, word.size()), word)) return false;
    const std::size_t end = i_ + word.size();
    if (end < s_.size() && s_[end] != u' ' && s_[end] != u'(' && s_[end] != u'\t') return false;
    i_ = end;
    return true;
  }
  std::unique_ptr<Criterion> Join(Criterion::Kind kind, std::unique_ptr<Criterion> a, std::unique_ptr<Criterion> b) {
    auto c = std::make_unique<Criterion>();
    c->kind = kind;
    c->left = std::move(a);
    c->right = std::move(b);
    return c;
  }
  std::unique_ptr<Criterion> ParseOr() {
    auto c = ParseAnd();
    while (Keyword(u"OR")) c = Join(Criterion::Kind::Or, std::move(c), ParseAnd());
    return c;
  }
  std::unique_ptr<Criterion> ParseAnd() {
    auto c = ParsePrimary();
    while (Keyword(u"AND")) c = Join(Criterion::Kind::And, std::move(c), ParsePrimary());
    return c;
  }
  std::unique_ptr<Criterion> ParsePrimary() {
    Skip();
    if (i_ < s_.size() && s_[i_] == u'(') {
      ++i_;
      auto c = ParseOr();
      Skip();
      if (i_ >= s_.size() || s_[i_] != u')') Fail();
      ++i_;
      return c;
    }
    return ParseCompare();
  }
  UString Name() {
    Skip();
    UString name;
    if (i_ < s_.size() && s_[i_] == u'[') {
      const std::size_t end = s_.find(u']', i_);
      if (end == UString::npos) Fail();
      name = s_.substr(i_ + 1, end - i_ - 1);
      i_ = end + 1;
      return name;
    }
    while (i_ < s_.size() && s_[i_] != u' ' && s_[i_] != u'=' && s_[i_] != u'<' && s_[i_] != u'>' &&
           s_[i_] != u'\t')
      name.push_back(s_[i_++]);
    if (name.empty()) Fail();
    return name;
  }
  Op Operator() {
    Skip();
    auto take = [&](UStringView t) {
      if (UStringView(s_).substr(i_, t.size()) != t) return false;
      i_ += t.size();
      return true;
    };
    if (take(u"<>")) return Op::Ne;
    if (take(u"<=")) return Op::Le;
    if (take(u">=")) return Op::Ge;
    if (take(u"=")) return Op::Eq;
    if (take(u"<")) return Op::Lt;
    if (take(u">")) return Op::Gt;
    if (Keyword(u"LIKE")) return Op::Like;
    Fail();
  }
  Variant Literal() {
    Skip();
    if (i_ >= s_.size()) Fail();
    const char16_t q = s_[i_];
    if (q == u'\'' || q == u'"' || q == u'#') {
      UString text;
      ++i_;
      for (;;) {
        if (i_ >= s_.size()) Fail();
        if (s_[i_] == q) {
          if (q != u'#' && i_ + 1 < s_.size() && s_[i_ + 1] == q) {
            text.push_back(q);
            i_ += 2;
            continue;
          }
          ++i_;
          break;
        }
        text.push_back(s_[i_++]);
      }
      if (q != u'#') return Variant(text);
      if (auto d = provider::OleDateFromIso(ToUtf8(text))) return Variant::FromDate(*d);
      Variant date;
      if (Failed(ChangeType(date, Variant(text), 0, VT_DATE))) Fail();
      return date;
    }
    UString word;
    while (i_ < s_.size() && s_[i_] != u' ' && s_[i_] != u')' && s_[i_] != u'\t') word.push_back(s_[i_++]);
    if (EqualsNoCase(word, u"NULL")) return Variant::Null();
    const std::string utf8 = ToUtf8(word);
    char* end = nullptr;
    const double d = std::strtod(utf8.c_str(), &end);
    if (utf8.empty() || !end || *end != '\0') Fail();
    return Variant(d);
  }
  std::unique_ptr<Criterion> ParseCompare() {
    auto c = std::make_unique<Criterion>();
    const UString name = Name();
    auto col = fields_.Find(Variant(name));
    if (!col) RaiseAdo(adErrItemNotFound, kSrcRecordset);
    c->column = *col;
    c->op = Operator();
    c->literal = Literal();
    if (c->op == Op::Like && c->literal.vt() != VT_BSTR) Fail();
    return c;
  }

  const UString& s_;
  Fields& fields_;
  std::size_t i_ = 0;
};

bool IsNumber(const Variant& v) {
  switch (v.vt()) {
    case VT_I1: case VT_I2: case VT_I4: case VT_I8: case VT_UI1: case VT_UI2: case VT_UI4: case VT_UI8:
    case VT_R4: case VT_R8: case VT_CY: case VT_DECIMAL: case VT_BOOL: case VT_DATE: case VT_INT: case VT_UINT:
      return true;
    default:
      return false;
  }
}

// -1, 0, 1; strings without regard to case; numbers as numbers.
int Compare(const Variant& a, const Variant& b) {
  if (IsNumber(a) && IsNumber(b)) {
    Variant x, y;
    if (Succeeded(ChangeType(x, a, 0, VT_R8)) && Succeeded(ChangeType(y, b, 0, VT_R8)))
      return x.dblVal() < y.dblVal() ? -1 : x.dblVal() > y.dblVal() ? 1 : 0;
  }
  Variant x, y;
  if (Failed(ChangeType(x, a, 0, VT_BSTR)) || Failed(ChangeType(y, b, 0, VT_BSTR))) return a.vt() < b.vt() ? -1 : 1;
  const UString fx = FoldedCopy(x.bstrVal());
  const UString fy = FoldedCopy(y.bstrVal());
  return fx < fy ? -1 : fx > fy ? 1 : 0;
}

// LIKE with * or % for any run of characters and _ for one character.
bool Like(UStringView text, UStringView pattern) {
  std::size_t t = 0, p = 0, star = UString::npos, mark = 0;
  while (t < text.size()) {
    if (p < pattern.size() && (pattern[p] == u'_' || FoldCase(pattern[p]) == FoldCase(text[t]))) {
      ++t;
      ++p;
    } else if (p < pattern.size() && (pattern[p] == u'*' || pattern[p] == u'%')) {
      star = p++;
      mark = t;
    } else if (star != UString::npos) {
      p = star + 1;
      t = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && (pattern[p] == u'*' || pattern[p] == u'%')) ++p;
  return p == pattern.size();
}

bool Matches(const Criterion& c, const provider::RowStore& store, std::size_t row) {
  switch (c.kind) {
    case Criterion::Kind::And: return Matches(*c.left, store, row) && Matches(*c.right, store, row);
    case Criterion::Kind::Or: return Matches(*c.left, store, row) || Matches(*c.right, store, row);
    case Criterion::Kind::Compare: break;
  }
  const Variant value = CellVariant(store, row, c.column);
  if (c.literal.IsNull()) {
    const bool isNull = value.IsNull() || value.IsEmpty();
    return c.op == Op::Eq ? isNull : c.op == Op::Ne ? !isNull : false;
  }
  if (value.IsNull() || value.IsEmpty()) return false;
  if (c.op == Op::Like) {
    Variant text;
    if (Failed(ChangeType(text, value, 0, VT_BSTR))) return false;
    return Like(text.bstrVal(), c.literal.bstrVal());
  }
  const int r = Compare(value, c.literal);
  switch (c.op) {
    case Op::Eq: return r == 0;
    case Op::Ne: return r != 0;
    case Op::Lt: return r < 0;
    case Op::Gt: return r > 0;
    case Op::Le: return r <= 0;
    case Op::Ge: return r >= 0;
    case Op::Like: break;
  }
  return false;
}

struct SortKey {
  std::size_t column;
  bool descending;
};

std::vector<SortKey> ParseSort(const UString& text, Fields& fields) {
  std::vector<SortKey> keys;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(u',', start);
    if (end == UString::npos) end = text.size();
    UString part = text.substr(start, end - start);
    start = end + 1;
    while (!part.empty() && part.back() == u' ') part.pop_back();
    while (!part.empty() && part.front() == u' ') part.erase(part.begin());
    if (part.empty()) {
      if (end == text.size()) break;
      RaiseAdo(adErrInvalidArgument, kSrcRecordset);
    }
    bool descending = false;
    const std::size_t blank = part.rfind(u' ');
    if (blank != UString::npos) {
      const UString word = part.substr(blank + 1);
      if (EqualsNoCase(word, u"DESC") || EqualsNoCase(word, u"ASC")) {
        descending = EqualsNoCase(word, u"DESC");
        part.resize(blank);
        while (!part.empty() && part.back() == u' ') part.pop_back();
      }
    }
    if (part.size() >= 2 && part.front() == u'[' && part.back() == u']') part = part.substr(1, part.size() - 2);
    auto col = fields.Find(Variant(part));
    if (!col) RaiseAdo(adErrItemNotFound, kSrcRecordset);
    keys.push_back({*col, descending});
    if (end == text.size()) break;
  }
  return keys;
}

}  // namespace

void Recordset::ApplyOrder() {
  if (!store_) return;
  const Variant filter = filter_.Deref();
  const bool noFilter = (filter.vt() == VT_I4 && filter.lVal() == adFilterNone) ||
                        (filter.vt() == VT_BSTR && filter.bstrVal().empty());
  const std::size_t keepRow = hasRow_ ? row_ : static_cast<std::size_t>(-1);
  std::unordered_set<std::uint32_t> deleted(discardedRows_.begin(), discardedRows_.end());
  for (const Change& c : batch_) {
    if (c.kind == Change::Remove) deleted.insert(c.row);
  }
  std::vector<std::uint32_t> rows;
  rows.reserve(store_->RowCount());
  for (std::size_t r = 0; r < store_->RowCount(); ++r) {
    if (!deleted.count(static_cast<std::uint32_t>(r))) rows.push_back(static_cast<std::uint32_t>(r));
  }
  if (!noFilter) {
    std::vector<std::uint32_t> kept;
    if (filter.vt() == VT_BSTR) {
      auto criteria = CriteriaParser(filter.bstrVal(), *fields_).Parse(true);
      for (std::uint32_t r : rows) {
        if (Matches(*criteria, *store_, r)) kept.push_back(r);
      }
    } else if (filter.IsArray()) {
      std::unordered_set<std::uint32_t> wanted;
      for (const Variant& b : filter.parray()->Elements()) {
        Variant n;
        if (Succeeded(ChangeType(n, b, 0, VT_R8)) && n.dblVal() >= 1) wanted.insert(static_cast<std::uint32_t>(n.dblVal() - 1));
      }
      for (std::uint32_t r : rows) {
        if (wanted.count(r)) kept.push_back(r);
      }
    } else {
      std::unordered_set<std::uint32_t> pending;
      for (const Change& c : batch_) pending.insert(c.row);
      for (std::uint32_t r : rows) {
        if (pending.count(r)) kept.push_back(r);
      }
    }
    rows.swap(kept);
  }
  if (!sort_.empty()) {
    const std::vector<SortKey> keys = ParseSort(sort_, *fields_);
    std::stable_sort(rows.begin(), rows.end(), [&](std::uint32_t a, std::uint32_t b) {
      for (const SortKey& k : keys) {
        const Variant va = CellVariant(*store_, a, k.column);
        const Variant vb = CellVariant(*store_, b, k.column);
        // Nulls sort first (last when descending).
        int r;
        if (va.IsNull() || vb.IsNull()) {
          r = va.IsNull() == vb.IsNull() ? 0 : va.IsNull() ? -1 : 1;
        } else {
          r = Compare(va, vb);
        }
        if (r != 0) return k.descending ? r > 0 : r < 0;
      }
      return false;
    });
  }
  order_.swap(rows);
  currentDeleted_ = false;
  auto it = std::find(order_.begin(), order_.end(), static_cast<std::uint32_t>(keepRow));
  pos_ = it != order_.end() ? it - order_.begin() : 0;
  SyncRow();
}

void Recordset::LetFilter(Variant& value) {
  const Variant v = value.Deref();
  if (v.IsEmpty() || v.IsMissing()) RaiseAdo(adErrInvalidArgument, kSrcRecordset);
  if (v.vt() != VT_BSTR && !v.IsArray()) {
    Variant n;
    if (Failed(ChangeType(n, v, 0, VT_I4))) RaiseAdo(adErrInvalidArgument, kSrcRecordset);
    if (n.lVal() != adFilterNone && n.lVal() != adFilterPendingRecords) RaiseAdo(adErrFeatureNotAvailable, kSrcRecordset);
    filter_ = n;
  } else {
    filter_ = v;
  }
  if (phase_ == Phase::Open) {
    ComPtr<Recordset> keep(this);
    if (editMode_ != adEditNone) CommitEdit();
    if (v.vt() == VT_BSTR && !v.bstrVal().empty()) CriteriaParser(v.bstrVal(), *fields_).Parse(true);
    ApplyOrder();
    // Setting a filter shows its first row.
    pos_ = 0;
    currentDeleted_ = false;
    SyncRow();
  }
}

void Recordset::LetSort(UString& value) {
  if (phase_ == Phase::Open) {
    if (!Scrollable()) RaiseAdo(adErrFeatureNotAvailable, kSrcRecordset);
    ParseSort(value, *fields_);
  }
  sort_ = value;
  if (phase_ == Phase::Open) ApplyOrder();
}

void Recordset::Find(UString& criteria, std::int32_t& skipRecords, std::int32_t& searchDirection, Variant& start) {
  RequireOpen();
  if (searchDirection != adSearchForward && searchDirection != adSearchBackward)
    RaiseAdo(adErrInvalidArgument, kSrcRecordset);
  if (skipRecords < 0) RaiseAdo(adErrInvalidArgument, kSrcRecordset);
  auto criterion = CriteriaParser(criteria, *fields_).Parse(false);
  const Variant s = start.Deref();
  std::int64_t from = s.IsMissing() || s.IsEmpty() ? pos_ : StartPosition(s);
  if ((s.IsMissing() || s.IsEmpty()) && !hasRow_) RaiseAdo(adErrNoCurrentRecord, kSrcRecordset);
  if (searchDirection == adSearchBackward) {
    RequireScrollable();
    for (std::int64_t p = from - skipRecords; p >= 0; --p) {
      if (p < Count() && Matches(*criterion, *store_, order_[static_cast<std::size_t>(p)])) {
        MoveTo(p, adRsnMove, false);
        return;
      }
    }
    MoveTo(-1, adRsnMove, false);
    return;
  }
  for (std::int64_t p = std::max<std::int64_t>(0, from + skipRecords); p < Count(); ++p) {
    if (Matches(*criterion, *store_, order_[static_cast<std::size_t>(p)])) {
      MoveTo(p, adRsnMove, false);
      return;
    }
  }
  MoveTo(Count(), adRsnMove, false);
}

}  // namespace tarnel::adodb
