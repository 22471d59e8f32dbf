#include "engine/index/TreeChecker.h"

#include <map>
#include <set>

#include "engine/index/IndexTree.h"

namespace katalog {
namespace {

class TChecker {
 public:
  TChecker(TIndexStore& store, int slot) : store_(store), tree_(store, slot), slot_(slot) {}

  std::vector<std::string> Run(const TLeafVisitor& visit) {
    const std::int32_t root = tree_.Root();
    if (root != 0) {
      TPageRef page = tree_.Fetch(root);
      if (page->Image.Type != ptRootNode && page->Image.Type != ptRootLeaf) {
        Problem("root page " + std::to_string(root) + " is not of a root type");
      }
      Walk(root, 0, true);
      CheckChains(visit);
    }
    CheckFreeList();
    return problems_;
  }

 private:
  void Problem(std::string text) {
    problems_.push_back("index " + std::to_string(slot_) + ": " + std::move(text));
  }

  // Returns the number of keys below the page.
  std::int32_t Walk(std::int32_t offset, int level, bool isRoot) {
    if (!seen_.insert(offset).second) {
      Problem("page " + std::to_string(offset) + " is reached twice");
      return 0;
    }
    TPageRef page = tree_.Fetch(offset);
    const TPageImage& image = page->Image;
    if (!isRoot && (image.Type == ptRootNode || image.Type == ptRootLeaf)) {
      Problem("page " + std::to_string(offset) + " below the root has a root type");
    }
    levels_[level].push_back(offset);
    if (image.Count() == 0 && !(isRoot && image.IsLeaf())) {
      Problem("page " + std::to_string(offset) + " has no entries");
    }
    for (int i = 1; i < image.Count(); ++i) {
      if (tree_.Compare(image.Key(i - 1, tree_.KeyLength()), image.Key(i, tree_.KeyLength())) >=
          0) {
        Problem("keys out of order in page " + std::to_string(offset));
      }
    }
    if (image.IsLeaf()) {
      if (leafLevel_ < 0) leafLevel_ = level;
      if (leafLevel_ != level) Problem("leaves on more than one level");
      return image.Count();
    }
    std::int32_t total = 0;
    const TPageImage copy = image;  // the walk below may evict the page
    page.Release();
    for (int i = 0; i < copy.Count(); ++i) {
      const std::int32_t child = copy.Values[i];
      const std::int32_t below = Walk(child, level + 1, false);
      if (below != copy.Counts[i]) {
        Problem("count " + std::to_string(copy.Counts[i]) + " of page " + std::to_string(offset) +
                " entry " + std::to_string(i) + " but " + std::to_string(below) + " keys below");
      }
      TPageRef childPage = tree_.Fetch(child);
      if (childPage->Image.Count() > 0 &&
          tree_.Compare(copy.Key(i, tree_.KeyLength()),
                        childPage->Image.Key(0, tree_.KeyLength())) != 0) {
        Problem("node key of page " + std::to_string(offset) + " entry " + std::to_string(i) +
                " is not the first key of its child");
      }
      total += copy.Counts[i];
    }
    return total;
  }

  void CheckChains(const TLeafVisitor& visit) {
    for (const auto& [level, pages] : levels_) {
      std::vector<std::uint8_t> previousKey;
      for (std::size_t i = 0; i < pages.size(); ++i) {
        TPageRef page = tree_.Fetch(pages[i]);
        const TPageImage& image = page->Image;
        const std::int32_t expectPrevious = i == 0 ? 0 : pages[i - 1];
        const std::int32_t expectNext = i + 1 == pages.size() ? 0 : pages[i + 1];
        if (image.Previous != expectPrevious || image.Next != expectNext) {
          Problem("chain links of page " + std::to_string(pages[i]) + " on level " +
                  std::to_string(level) + " are wrong");
        }
        for (int e = 0; e < image.Count(); ++e) {
          const std::uint8_t* key = image.Key(e, tree_.KeyLength());
          if (!previousKey.empty() && tree_.Compare(previousKey.data(), key) >= 0) {
            Problem("keys out of order across pages on level " + std::to_string(level));
          }
          previousKey.assign(key, key + tree_.KeyLength());
          if (level == leafLevel_ && visit) visit(key, image.Values[e]);
        }
      }
    }
  }

  void CheckFreeList() {
    std::set<std::int32_t> free;
    for (std::int32_t offset = store_.File().Descriptor(slot_).FreePageHead; offset != 0;) {
      if (!free.insert(offset).second) {
        Problem("the free list runs in a circle");
        return;
      }
      if (seen_.count(offset)) Problem("page " + std::to_string(offset) + " is free and in use");
      TPageRef page = store_.Fetch(slot_, offset);
      offset = page->Image.Next;
    }
  }

  TIndexStore& store_;
  TIndexTree tree_;
  int slot_;
  std::vector<std::string> problems_;
  std::set<std::int32_t> seen_;
  std::map<int, std::vector<std::int32_t>> levels_;
  int leafLevel_ = -1;
};

}  // namespace

std::vector<std::string> CheckIndexTree(TIndexStore& store, int slot, const TLeafVisitor& visit) {
  return TChecker(store, slot).Run(visit);
}

}  // namespace katalog
