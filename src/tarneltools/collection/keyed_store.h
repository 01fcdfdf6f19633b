// KeyedStore: the ADO control's keyed collection, with the semantics of the
// automation Collection: items in order of addition, positions from 1,
// unique keys compared without regard to case, objects held as references
// and other values as copies. Lookup by key, removal and the move to the end
// that a text append performs cost constant time on average; lookup by
// position is logarithmic. Texts grow in place, so building a long text in
// pieces is linear in its length. Owned by one control, apartment thread only.
#pragma once
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "platform/automation/variant.h"

namespace tarnel {

class KeyedStore {
 public:
  KeyedStore() = default;
  KeyedStore(const KeyedStore&) = delete;
  KeyedStore& operator=(const KeyedStore&) = delete;

  std::int32_t Count() const { return static_cast<std::int32_t>(byKey_.size()); }

  // Adds item at the end under key. Error 457 when the key is present.
  void Add(const UString& key, const Variant& item);
  // The item that index names: a string is a key (error 5 when absent), a
  // number a position from 1 (error 9 outside 1..Count), anything else
  // error 13. The reference stays valid until the store changes.
  const Variant& Item(const Variant& index);
  bool Exists(const Variant& index);
  // Removes the item that index names (errors as Item).
  void Remove(const Variant& index);
  // Joins the text of the item under key with text and moves the item to the
  // end: the text is extended in place when the item is a string. Errors of
  // the lookup or of forming the text (an object, Null, an array) leave the
  // store exactly as it was.
  void AppendText(const UString& key, UStringView text);
  // The item's text (its text form when it is not a string).
  UString TextOf(const UString& key);
  // Releases every item.
  void Clear();

 private:
  struct Node {
    UString key;
    Variant value;
    std::size_t seq;  // order of addition; position = rank among live seqs
  };
  Node& NodeOfKey(const UString& key);
  Node& NodeOfPosition(std::int32_t position);
  Node& NodeOf(const Variant& index);
  void Erase(Node& node);
  void MoveToEnd(Node& node);
  std::size_t Append(Node* node);
  void Unlink(std::size_t seq);
  // The order-statistics index over sequence numbers (a Fenwick tree),
  // brought up to date lazily before a lookup by position.
  void SyncIndex();
  void Rebuild();
  std::size_t FindRank(std::size_t rank) const;

  std::unordered_map<UString, std::unique_ptr<Node>> byKey_;  // folded key -> node
  std::vector<Node*> bySeq_;                                  // null where removed
  std::vector<std::int32_t> tree_;                            // Fenwick counts over bySeq_
  std::vector<std::pair<std::size_t, std::int32_t>> pending_;  // changes not yet in tree_
  std::size_t indexed_ = 0;                                   // seqs covered by tree_
};

}  // namespace tarnel
