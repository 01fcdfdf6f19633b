// The keyed store's bookkeeping: a hash table from folded key to item, a
// vector of items by sequence number for the order, and a Fenwick tree over
// the live sequence numbers for positions. Removals and moves only record
// their change; the tree catches up when a position is next looked up, and
// is rebuilt (compacting the sequence numbers) when that is cheaper.
#include "tarneltools/collection/keyed_store.h"

#include <bit>

#include "platform/automation/com_error.h"
#include "platform/automation/variant_convert.h"

namespace tarnel {

namespace {
constexpr int kErrInvalidArgument = 5;
constexpr int kErrSubscript = 9;
constexpr int kErrTypeMismatch = 13;
constexpr int kErrDuplicateKey = 457;
}  // namespace

void KeyedStore::Add(const UString& key, const Variant& item) {
  UString folded = FoldedCopy(key);
  if (byKey_.count(folded)) RaiseError(kErrDuplicateKey);
  auto node = std::make_unique<Node>();
  node->key = key;
  node->value = item.Deref();
  Node* raw = node.get();
  byKey_.emplace(std::move(folded), std::move(node));
  raw->seq = Append(raw);
}

std::size_t KeyedStore::Append(Node* node) {
  // Keep removed sequence numbers from piling up when a text is appended to
  // millions of times: compact once they outnumber the live items.
  if (bySeq_.size() > 2 * byKey_.size() + 1024) Rebuild();
  bySeq_.push_back(node);
  return bySeq_.size() - 1;
}

void KeyedStore::Unlink(std::size_t seq) {
  bySeq_[seq] = nullptr;
  if (seq < indexed_) pending_.emplace_back(seq, -1);
}

KeyedStore::Node& KeyedStore::NodeOfKey(const UString& key) {
  auto it = byKey_.find(FoldedCopy(key));
  if (it == byKey_.end()) RaiseError(kErrInvalidArgument);
  return *it->second;
}

KeyedStore::Node& KeyedStore::NodeOfPosition(std::int32_t position) {
  if (position < 1 || position > Count()) RaiseError(kErrSubscript);
  SyncIndex();
  return *bySeq_[FindRank(static_cast<std::size_t>(position))];
}

KeyedStore::Node& KeyedStore::NodeOf(const Variant& index) {
  const Variant& v = index.Target();
  std::uint16_t vt = v.vt();
  if (vt == VT_BSTR) return NodeOfKey(v.bstrVal());
  if (vt == (VT_BYREF | VT_BSTR)) return NodeOfKey(*static_cast<UString*>(v.byref()));
  VarType base = static_cast<VarType>(vt & ~VT_BYREF);
  switch (base) {
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4: case VT_I8: case VT_UI8:
    case VT_INT: case VT_UINT: case VT_R4: case VT_R8: case VT_CY: case VT_DECIMAL: case VT_BOOL:
      return NodeOfPosition(ToInt32(v));
    default:
      RaiseError(kErrTypeMismatch);
  }
}

const Variant& KeyedStore::Item(const Variant& index) { return NodeOf(index).value; }

bool KeyedStore::Exists(const Variant& index) {
  try {
    NodeOf(index);
    return true;
  } catch (const ComError&) {
    return false;
  }
}

void KeyedStore::Erase(Node& node) {
  Unlink(node.seq);
  byKey_.erase(FoldedCopy(node.key));  // destroys node
}

void KeyedStore::Remove(const Variant& index) { Erase(NodeOf(index)); }

void KeyedStore::MoveToEnd(Node& node) {
  if (node.seq + 1 == bySeq_.size()) return;  // already last
  Unlink(node.seq);
  node.seq = Append(&node);
}

UString KeyedStore::TextOf(const UString& key) {
  Node& node = NodeOfKey(key);
  if (node.value.vt() == VT_BSTR) return node.value.bstrVal();
  return tarnel::TextOf(node.value);
}

void KeyedStore::AppendText(const UString& key, UStringView text) {
  Node& node = NodeOfKey(key);
  if (node.value.vt() == VT_BSTR) {
    node.value.bstrVal().append(text);
  } else {
    UString joined = tarnel::TextOf(node.value);  // throws before anything changes
    joined.append(text);
    node.value.SetString(std::move(joined));
  }
  MoveToEnd(node);
}

void KeyedStore::Clear() {
  byKey_.clear();
  bySeq_.clear();
  tree_.clear();
  pending_.clear();
  indexed_ = 0;
}

void KeyedStore::SyncIndex() {
  std::size_t appended = bySeq_.size() - indexed_;
  std::size_t logn = std::bit_width(bySeq_.size() + 1);
  // Applying each change costs log n; rebuilding costs n. Take the cheaper.
  if (bySeq_.size() > tree_.size() || (pending_.size() + appended) * logn > bySeq_.size()) {
    Rebuild();
    return;
  }
  auto add = [&](std::size_t seq, std::int32_t delta) {
    for (std::size_t i = seq + 1; i <= tree_.size(); i += i & (~i + 1)) tree_[i - 1] += delta;
  };
  for (auto [seq, delta] : pending_) add(seq, delta);
  for (std::size_t s = indexed_; s < bySeq_.size(); ++s) {
    if (bySeq_[s]) add(s, 1);
  }
  pending_.clear();
  indexed_ = bySeq_.size();
}

void KeyedStore::Rebuild() {
  // Compact: live items get sequence numbers 0..n-1 in their order.
  std::size_t n = 0;
  for (Node* node : bySeq_) {
    if (node) {
      node->seq = n;
      bySeq_[n++] = node;
    }
  }
  bySeq_.resize(n);
  // Room to append without rebuilding for a while.
  tree_.assign(std::max<std::size_t>(16, 2 * n), 0);
  for (std::size_t i = 1; i <= tree_.size(); ++i) {
    if (i <= n) tree_[i - 1] += 1;
    std::size_t parent = i + (i & (~i + 1));
    if (parent <= tree_.size()) tree_[parent - 1] += tree_[i - 1];
  }
  pending_.clear();
  indexed_ = n;
}

std::size_t KeyedStore::FindRank(std::size_t rank) const {
  std::size_t pos = 0;
  std::size_t step = std::bit_floor(tree_.size());
  for (; step; step >>= 1) {
    if (pos + step <= tree_.size() && static_cast<std::size_t>(tree_[pos + step - 1]) < rank) {
      pos += step;
      rank -= static_cast<std::size_t>(tree_[pos - 1]);
    }
  }
  return pos;  // 0-based sequence number of the rank-th live item
}

}  // namespace tarnel
