#pragma once

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

namespace sondralis {

// Raised on an index outside 0 .. Count - 1.
class EListError : public std::out_of_range {
 public:
  explicit EListError(int index) : std::out_of_range("List index out of bounds (" + std::to_string(index) + ")") {}
};

// Ordered list of object references. Every operation here moves references
// only; nothing is ever freed. Owning lists derive from TOwningList below.
template <class T>
class TList {
 public:
  TList() = default;
  TList(const TList&) = delete;
  TList& operator=(const TList&) = delete;
  virtual ~TList() = default;

  int Count() const noexcept { return static_cast<int>(fItems.size()); }
  bool IsEmpty() const noexcept { return fItems.empty(); }

  T* Items(int Index) const {
    CheckIndex(Index);
    return fItems[static_cast<std::size_t>(Index)];
  }
  T* operator[](int Index) const { return Items(Index); }
  T* First() const { return Items(0); }
  T* Last() const { return Items(Count() - 1); }

  int Add(T* Item) {
    fItems.push_back(Item);
    return Count() - 1;
  }
  // Index may equal Count (append).
  void Insert(int Index, T* Item) {
    if (Index < 0 || Index > Count()) throw EListError(Index);
    fItems.insert(fItems.begin() + Index, Item);
  }
  // Removes the reference at Index; the object is not freed.
  void Delete(int Index) {
    CheckIndex(Index);
    fItems.erase(fItems.begin() + Index);
  }
  // Removes the reference at Index and hands the object to the caller.
  T* Extract(int Index) {
    T* item = Items(Index);
    fItems.erase(fItems.begin() + Index);
    return item;
  }
  // Removes all references; no object is freed.
  void Clear() noexcept { fItems.clear(); }
  int IndexOf(const T* Item) const noexcept {
    auto it = std::find(fItems.begin(), fItems.end(), Item);
    return it == fItems.end() ? -1 : static_cast<int>(it - fItems.begin());
  }
  // Compare(a, b) < 0 when a goes before b.
  template <class Compare>
  void Sort(Compare compare) {
    std::sort(fItems.begin(), fItems.end(), [&](T* a, T* b) { return compare(a, b) < 0; });
  }
  void Reserve(int n) { fItems.reserve(static_cast<std::size_t>(n)); }
  // Gives back the room reserved for items not added (a list that grew
  // item by item holds up to twice what it needs).
  void ShrinkToFit() { fItems.shrink_to_fit(); }

  auto begin() const noexcept { return fItems.begin(); }
  auto end() const noexcept { return fItems.end(); }

 protected:
  void CheckIndex(int Index) const {
    if (Index < 0 || Index >= Count()) throw EListError(Index);
  }
  std::vector<T*> fItems;
};

// A list that owns its items: the destructor, FreeAll and FreeAndDelete free
// them, last index first. Add, Insert, Delete, Extract and Clear still move
// references only, so an item can be handed from one list to another.
template <class T>
class TOwningList : public TList<T> {
 public:
  TOwningList() = default;
  ~TOwningList() override { FreeAll(); }

  void FreeAndDelete(int Index) {
    T* item = this->Extract(Index);
    delete item;
  }
  // Frees the items `pred` picks and removes them, the others keeping their
  // order: one pass, however many go. Returns how many went.
  template <class Pred>
  int FreeWhere(Pred pred) {
    auto keep = this->fItems.begin();
    int freed = 0;
    for (T* item : this->fItems) {
      if (pred(item)) {
        delete item;
        ++freed;
      } else {
        *keep++ = item;
      }
    }
    this->fItems.erase(keep, this->fItems.end());
    return freed;
  }
  void FreeAll() noexcept {
    while (!this->fItems.empty()) {
      T* item = this->fItems.back();
      this->fItems.pop_back();
      delete item;
    }
  }
};

}  // namespace sondralis
