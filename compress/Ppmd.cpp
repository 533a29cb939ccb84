// PPMd variant G block codec: PPM with information inheritance, adaptive
// probabilities for one-state contexts, secondary escape estimation and a
// carry-less range coder.
//
// The model lives in a per-call `Model` object that owns a zero-filled heap of
// 12-byte units. Records inside the heap refer to each other by 32-bit offsets
// from the heap buffer, so the layout (and therefore every allocation and
// restart decision) is the same on 32- and 64-bit builds. Offset 0 is the null
// reference: the heap proper starts one unit into the buffer.
//
// Record layouts (little-endian fields):
//   state, 6 bytes:    symbol u8 | frequency u8 | successor u32
//   context, 12 bytes: number of states u16 | total frequency u16 | state array u32 | suffix u32
//                      (with one state, bytes 2..7 hold that state inline; with 0 states the
//                      context is a placeholder: a text position not yet made a context)
//
// Encoder and decoder share every model operation below; they differ only in
// how the range coder picks or learns the interval, so both make the same
// decisions, restarts included.
#include "compress/Ppmd.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr int kNumIndexes = 38;
constexpr uint32_t kUnitSize = 12;
constexpr uint32_t kHeapBase = kUnitSize;  // offset 0 of the buffer is never a record
constexpr uint32_t kReserveBytes = 0x30000;
constexpr uint32_t kReserveBlocks = 128;
constexpr int kMaxFreq = 124;
constexpr int kBinBits = 14;
constexpr uint32_t kBinTotal = 1u << kBinBits;
constexpr uint32_t kTop = 1u << 24;
constexpr uint32_t kBot = 1u << 15;
constexpr int kMaxOrder = 16;
constexpr int kEndSymbol = -1;

// Tables that never change: size classes and the context-class indexes.
struct StaticTables {
  uint8_t indx2Units[kNumIndexes] = {};
  uint8_t units2Indx[128] = {};
  uint8_t ns2Indx[256] = {};
  uint8_t ns2BSIndx[256] = {};

  constexpr StaticTables() {
    int k = 0;
    for (int u = 1; u <= 4; ++u) indx2Units[k++] = uint8_t(u);
    for (int u = 6; u <= 12; u += 2) indx2Units[k++] = uint8_t(u);
    for (int u = 15; u <= 24; u += 3) indx2Units[k++] = uint8_t(u);
    for (int u = 28; u <= 128; u += 4) indx2Units[k++] = uint8_t(u);
    for (int n = 1, c = 0; n <= 128; ++n) {
      if (indx2Units[c] < n) ++c;
      units2Indx[n - 1] = uint8_t(c);
    }
    for (int n = 0; n < 256; ++n) {
      int v;
      if (n < 4) {
        v = n;
      } else if (n < 12) {
        v = 4 + (n - 4) / 2;
      } else if (n < 44) {
        v = 8 + (n - 12) / 4;
      } else {
        v = 16 + (n - 44) / 8;
      }
      ns2Indx[n] = uint8_t(v);
      ns2BSIndx[n] = uint8_t(n < 6 ? 2 * n : (n < 50 ? 12 : 14));
    }
  }
};
constexpr StaticTables kTables;
static_assert(kTables.indx2Units[kNumIndexes - 1] == 128, "size classes end at 128 units");
static_assert(kTables.ns2Indx[255] == 42, "43 escape-context classes");

constexpr uint8_t kExpEscape[16] = {25, 14, 9, 7, 5, 5, 4, 4, 4, 3, 3, 3, 2, 2, 2, 2};
constexpr uint16_t kInitBinEsc[16] = {0x3CDD, 0x1F3F, 0x59BF, 0x48F3, 0x5FFB, 0x5545, 0x63D1, 0x5D9D,
                                      0x64A1, 0x5ABC, 0x6632, 0x6051, 0x68F6, 0x549B, 0x6BCA, 0x3AB0};

// Secondary escape estimator.
struct See {
  uint16_t sum;
  uint8_t shift;
  uint8_t count;
};

// A state copied out of the heap (rescaling and successor creation work on copies).
struct StateRec {
  uint8_t symbol;
  uint8_t freq;
  uint32_t successor;
};

struct FreeDeleter {
  void operator()(uint8_t* p) const { std::free(p); }
};

thread_local int32_t tlsRestarts = 0;
thread_local int32_t tlsGuards = 0;

// The model: heap and allocator, tables, and the coder-side model state.
class Model {
 public:
  Model(int maxOrder, uint32_t heapSize) : maxOrder_(maxOrder), heapSize_(heapSize) {}
  Model(const Model&) = delete;
  Model& operator=(const Model&) = delete;

  // Takes a zero-filled heap. Returns false when the memory is not available.
  bool TakeHeap() {
    mem_.reset(static_cast<uint8_t*>(std::calloc(size_t(heapSize_) + kHeapBase, 1)));
    heap_ = mem_.get();
    return heap_ != nullptr;
  }

  // Model start (also the restart after memory ran out).
  void Start();

  int32_t restarts() const { return restarts_; }
  int32_t guards() const { return guards_; }

  // ---- coding steps shared by encoder and decoder ----

  uint32_t MinContext() const { return minContext_; }
  int NumStats(uint32_t c) const { return Load16(c); }
  uint32_t StatsOf(uint32_t c) const { return Load32(c + 4); }
  int SummFreq(uint32_t c) const { return Load16(c + 2); }
  uint8_t Sym(uint32_t s) const { return heap_[s]; }
  uint8_t Freq(uint32_t s) const { return heap_[s + 1]; }
  bool Masked(uint32_t s) const { return charMask_[Sym(s)] == escCount_; }

  // Placeholder as current context can only come from a broken model; restart.
  bool CurrentUsable() {
    if (NumStats(minContext_) != 0) return true;
    Guard();
    Restart();
    return NumStats(minContext_) != 0;
  }

  // A: the probability cell of the one-state context `minContext_`.
  uint16_t* BinCell() {
    uint32_t s = minContext_ + 2;
    uint32_t suffix = Suffix(minContext_);
    int col = prevSuccess_;
    if (suffix != 0 && NumStats(suffix) > 0) {
      col += kTables.ns2BSIndx[NumStats(suffix) - 1];
    } else {
      Guard();
    }
    int row = Freq(s) - 1;
    if (row < 0 || row > 127) {
      Guard();
      row = row < 0 ? 0 : 127;
    }
    return &binSumm_[row][col];
  }
  void BinHit(uint16_t* cell) {
    uint32_t s = minContext_ + 2;
    int p = *cell;
    *cell = uint16_t(p + 128 - ((p + 32) >> 7));
    if (Freq(s) < 128) heap_[s + 1]++;
    foundState_ = s;
    prevSuccess_ = 1;
  }
  void BinMiss(uint16_t* cell) {
    uint32_t s = minContext_ + 2;
    int p = *cell;
    p -= (p + 32) >> 7;
    *cell = uint16_t(p);
    initEsc_ = kExpEscape[p >> 10];
    numMasked_ = 1;
    charMask_[Sym(s)] = escCount_;
    prevSuccess_ = 0;
    foundState_ = 0;
  }

  // B: hits and the escape in a context with two or more states, nothing masked.
  void FirstHit(uint32_t s) {
    int f = Freq(s);
    int t = SummFreq(minContext_);
    prevSuccess_ = (2 * f > t) ? 1 : 0;
    heap_[s + 1] = uint8_t(f + 4);
    SetSummFreq(minContext_, t + 4);
    foundState_ = s;
    if (f + 4 > kMaxFreq) Rescale();
  }
  void LaterHit(uint32_t s) {
    prevSuccess_ = 0;
    heap_[s + 1] += 4;
    SetSummFreq(minContext_, SummFreq(minContext_) + 4);
    foundState_ = s;
    if (Freq(s) > Freq(s - 6)) {
      SwapStates(s, s - 6);
      foundState_ = s - 6;
      if (Freq(foundState_) > kMaxFreq) Rescale();
    }
  }
  void MaskAll() {
    uint32_t s = StatsOf(minContext_);
    int ns = NumStats(minContext_);
    for (int i = 0; i < ns; ++i, s += 6) charMask_[Sym(s)] = escCount_;
    numMasked_ = ns;
    prevSuccess_ = 0;
    foundState_ = 0;
  }

  // C: after an escape, moves to the next suffix whose state count differs from
  // the masked count. Returns false when the order-0 context escaped (block end).
  bool Climb() {
    uint32_t c = minContext_;
    for (int steps = 0;; ++steps) {
      uint32_t suffix = Suffix(c);
      if (suffix == 0) return false;
      if (steps > kMaxOrder + 1) {  // suffix chains are never longer than the order
        Guard();
        return false;
      }
      ++orderFall_;
      c = suffix;
      if (NumStats(c) != numMasked_) break;
    }
    minContext_ = c;
    return true;
  }

  // D: the escape estimator of the masked context `minContext_` and its escape frequency.
  See* MakeEscFreq(uint32_t* escFreq) {
    int ns = NumStats(minContext_);
    if (ns == 256) {
      *escFreq = 1;
      return &dummySee_;
    }
    int diff = ns - numMasked_;
    if (diff < 1) {
      Guard();
      diff = 1;
    }
    uint32_t suffix = Suffix(minContext_);
    int suffixNs = suffix != 0 ? NumStats(suffix) : 0;
    if (suffix == 0) Guard();
    int col = (diff < suffixNs - ns ? 1 : 0) + (SummFreq(minContext_) < 11 * ns ? 2 : 0) +
              (numMasked_ > diff ? 4 : 0);
    See* see = &see_[kTables.ns2Indx[diff - 1]][col];
    uint32_t r = uint32_t(see->sum) >> see->shift;
    see->sum = uint16_t(see->sum - r);
    uint32_t f = r % 1024;
    *escFreq = f != 0 ? f : 1;
    return see;
  }
  void MaskedHit(uint32_t s, See* see) {
    if (see->shift < 7 && --see->count == 0) {
      see->sum = uint16_t(see->sum * 2);
      see->count = uint8_t(3 << see->shift);
      see->shift++;
    }
    heap_[s + 1] += 4;
    SetSummFreq(minContext_, SummFreq(minContext_) + 4);
    foundState_ = s;
    if (Freq(s) > kMaxFreq) Rescale();
    escCount_++;
  }
  void MaskedMiss(See* see, uint32_t total) {
    uint32_t s = StatsOf(minContext_);
    int ns = NumStats(minContext_);
    for (int i = 0; i < ns; ++i, s += 6) charMask_[Sym(s)] = escCount_;
    see->sum = uint16_t(see->sum + total);
    numMasked_ = ns;
  }

  // E: after the symbol is known.
  void AfterSymbol() {
    uint32_t succ = Load32(foundState_ + 2);
    if (orderFall_ == 0 && succ != 0 && NumStats(succ) != 0) {
      minContext_ = maxContext_ = succ;
    } else {
      UpdateModel();
      if (escCount_ == 0) {
        escCount_ = 1;
        std::memset(charMask_, 0, sizeof(charMask_));
      }
    }
  }

 private:
  enum class Mode { kPush, kSkip, kPlain };

  uint16_t Load16(uint32_t off) const { return uint16_t(heap_[off] | heap_[off + 1] << 8); }
  uint32_t Load32(uint32_t off) const {
    const uint8_t* p = heap_ + off;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
  }
  void Store16(uint32_t off, uint32_t v) {
    heap_[off] = uint8_t(v);
    heap_[off + 1] = uint8_t(v >> 8);
  }
  void Store32(uint32_t off, uint32_t v) {
    uint8_t* p = heap_ + off;
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
  }

  void SetNumStats(uint32_t c, int n) { Store16(c, uint32_t(n)); }
  void SetSummFreq(uint32_t c, int v) { Store16(c + 2, uint32_t(v)); }
  void SetStats(uint32_t c, uint32_t s) { Store32(c + 4, s); }
  uint32_t Suffix(uint32_t c) const { return Load32(c + 8); }
  void SetSuffix(uint32_t c, uint32_t s) { Store32(c + 8, s); }
  uint32_t Succ(uint32_t s) const { return Load32(s + 2); }
  void SetSucc(uint32_t s, uint32_t c) { Store32(s + 2, c); }

  StateRec ReadState(uint32_t s) const { return StateRec{heap_[s], heap_[s + 1], Load32(s + 2)}; }
  void WriteState(uint32_t s, const StateRec& r) {
    heap_[s] = r.symbol;
    heap_[s + 1] = r.freq;
    Store32(s + 2, r.successor);
  }
  void SwapStates(uint32_t a, uint32_t b) {
    uint8_t tmp[6];
    std::memcpy(tmp, heap_ + a, 6);
    std::memcpy(heap_ + a, heap_ + b, 6);
    std::memcpy(heap_ + b, tmp, 6);
  }
  // State of `symbol` in context `c`, or 0 when it holds none.
  uint32_t FindState(uint32_t c, uint8_t symbol) const {
    int ns = NumStats(c);
    if (ns == 1) return Sym(c + 2) == symbol ? c + 2 : 0;
    uint32_t s = StatsOf(c);
    for (int i = 0; i < ns; ++i, s += 6) {
      if (Sym(s) == symbol) return s;
    }
    return 0;
  }

  void Guard() { ++guards_; }

  // ---- allocator ----
  static uint32_t UnitsOf(int indx) { return kTables.indx2Units[indx]; }
  static int IndexOf(uint32_t units) { return kTables.units2Indx[units - 1]; }

  void InsertNode(uint32_t p, int indx) {
    Store32(p, freeList_[indx]);
    freeList_[indx] = p;
  }
  uint32_t RemoveNode(int indx) {
    uint32_t p = freeList_[indx];
    freeList_[indx] = Load32(p);
    return p;
  }
  void SplitBlock(uint32_t p, int oldIndx, int newIndx) {
    uint32_t diff = UnitsOf(oldIndx) - UnitsOf(newIndx);
    uint32_t rest = p + kUnitSize * UnitsOf(newIndx);
    int e = IndexOf(diff);
    if (UnitsOf(e) != diff) {
      --e;
      InsertNode(rest, e);
      rest += kUnitSize * UnitsOf(e);
      diff -= UnitsOf(e);
    }
    InsertNode(rest, IndexOf(diff));
  }
  uint32_t AllocUnits(uint32_t units) {
    int indx = IndexOf(units);
    if (freeList_[indx] != 0) return RemoveNode(indx);
    uint32_t bytes = kUnitSize * UnitsOf(indx);
    if (hiUnit_ - loUnit_ >= bytes) {
      uint32_t r = loUnit_;
      loUnit_ += bytes;
      return r;
    }
    if (reserveWhole_) {
      for (uint32_t i = 0; i < kReserveBlocks; ++i) {
        InsertNode(kHeapBase + i * 128 * kUnitSize, kNumIndexes - 1);
      }
      reserveWhole_ = false;
    }
    for (int i = indx + 1; i < kNumIndexes; ++i) {
      if (freeList_[i] != 0) {
        uint32_t r = RemoveNode(i);
        SplitBlock(r, i, indx);
        return r;
      }
    }
    return 0;
  }
  uint32_t AllocContext() {
    if (hiUnit_ > loUnit_) {
      hiUnit_ -= kUnitSize;
      return hiUnit_;
    }
    return AllocUnits(1);
  }
  // Grows an array of `units` units by one unit; 0 when memory ran out.
  uint32_t ExpandUnits(uint32_t old, uint32_t units) {
    int i0 = IndexOf(units), i1 = IndexOf(units + 1);
    if (i0 == i1) return old;
    uint32_t p = AllocUnits(units + 1);
    if (p == 0) return 0;
    std::memmove(heap_ + p, heap_ + old, kUnitSize * UnitsOf(i0));
    InsertNode(old, i0);
    return p;
  }
  uint32_t ShrinkUnits(uint32_t old, uint32_t oldUnits, uint32_t newUnits) {
    int i0 = IndexOf(oldUnits), i1 = IndexOf(newUnits);
    if (i0 == i1) return old;
    if (freeList_[i1] != 0) {
      uint32_t p = RemoveNode(i1);
      std::memmove(heap_ + p, heap_ + old, kUnitSize * UnitsOf(i1));
      InsertNode(old, i0);
      return p;
    }
    SplitBlock(old, i0, i1);
    return old;
  }

  // ---- model ----
  void Restart() {
    Start();
    escCount_ = 0;
    ++restarts_;
  }
  void Rescale();
  void UpdateModel();
  bool CreateSuccessors(Mode mode, uint32_t p);

  const int maxOrder_;
  const uint32_t heapSize_;
  std::unique_ptr<uint8_t, FreeDeleter> mem_;
  uint8_t* heap_ = nullptr;

  uint32_t freeList_[kNumIndexes] = {};
  uint32_t loUnit_ = 0, hiUnit_ = 0;
  bool reserveWhole_ = true;

  uint16_t binSumm_[128][16] = {};
  See see_[43][8] = {};
  See dummySee_ = {};

  uint32_t minContext_ = 0, maxContext_ = 0, foundState_ = 0, textTail_ = 0;
  int orderFall_ = 0;
  int numMasked_ = 0;
  int prevSuccess_ = 0;
  uint8_t initEsc_ = 0;
  uint8_t escCount_ = 0;
  uint8_t charMask_[256] = {};

  int32_t restarts_ = 0;
  int32_t guards_ = 0;
};

void Model::Start() {
  std::memset(freeList_, 0, sizeof(freeList_));
  hiUnit_ = kHeapBase + kUnitSize * (heapSize_ / kUnitSize);
  loUnit_ = kHeapBase + kReserveBytes;
  reserveWhole_ = true;

  for (int i = 0; i < 128; ++i) {
    for (int k = 0; k < 16; ++k) binSumm_[i][k] = uint16_t(kBinTotal - kInitBinEsc[k] / (i + 2));
  }
  for (int i = 0; i < 43; ++i) {
    for (int k = 0; k < 8; ++k) see_[i][k] = See{uint16_t((4 * i + 10) * 8), 3, 3};
  }
  dummySee_ = See{0, 7, 0};

  // Order-0 context: all 256 symbols with frequency 1.
  uint32_t root = AllocContext();
  SetNumStats(root, 256);
  SetSummFreq(root, 257);
  SetSuffix(root, 0);
  uint32_t stats = AllocUnits(128);
  SetStats(root, stats);
  for (int i = 0; i < 256; ++i) WriteState(stats + 6 * i, StateRec{uint8_t(i), 1, 0});
  prevSuccess_ = 0;
  orderFall_ = 1;

  // A chain of one-state contexts for a history of zeros; the deepest is a placeholder.
  uint32_t s = stats;
  uint32_t prev = root;
  uint32_t c = 0;
  for (int k = 1;; ++k) {
    c = AllocContext();
    SetSucc(s, c);
    SetNumStats(c, 1);
    SetSuffix(c, prev);
    if (k == maxOrder_) break;
    s = c + 2;
    heap_[s] = 0;
    heap_[s + 1] = 1;
    prev = c;
  }
  SetNumStats(c, 0);
  textTail_ = c;
  minContext_ = maxContext_ = prev;
  escCount_ = 1;
  std::memset(charMask_, 0, sizeof(charMask_));
}

void Model::Rescale() {
  const uint32_t ctx = minContext_;
  const int oldNs = NumStats(ctx);
  int ns = oldNs;
  const uint32_t stats = StatsOf(ctx);
  StateRec st[256];
  for (int i = 0; i < ns; ++i) st[i] = ReadState(stats + 6 * i);

  // Found state to the front; the others keep their order.
  int idx = int((foundState_ - stats) / 6);
  if (foundState_ < stats || idx >= ns) {
    Guard();
    idx = 0;
  }
  for (int i = idx; i > 0; --i) std::swap(st[i], st[i - 1]);

  int summ = SummFreq(ctx) + 4;
  st[0].freq = uint8_t(st[0].freq + 4);
  int esc = summ - st[0].freq;
  const int adder = orderFall_ != 0 ? 1 : 0;
  st[0].freq = uint8_t((st[0].freq + adder) >> 1);
  summ = st[0].freq;
  for (int i = 1; i < ns; ++i) {
    esc -= st[i].freq;
    st[i].freq = uint8_t((st[i].freq + adder) >> 1);
    summ += st[i].freq;
    if (st[i].freq > st[i - 1].freq) {
      StateRec tmp = st[i];
      int j = i;
      do {
        st[j] = st[j - 1];
      } while (--j > 0 && tmp.freq > st[j - 1].freq);
      st[j] = tmp;
    }
  }
  if (st[ns - 1].freq == 0) {
    int z = 0;
    while (z < ns && st[ns - 1 - z].freq == 0) ++z;
    esc += z;
    ns -= z;
    SetNumStats(ctx, ns);
    if (ns == 1) {
      StateRec tmp = st[0];
      do {
        tmp.freq = uint8_t(tmp.freq - (tmp.freq >> 1));
        esc >>= 1;
      } while (esc > 1);
      InsertNode(stats, IndexOf(uint32_t(oldNs + 1) >> 1));
      WriteState(ctx + 2, tmp);
      foundState_ = ctx + 2;
      return;
    }
  }
  esc -= esc >> 1;
  summ += esc;
  SetSummFreq(ctx, summ);
  uint32_t n0 = uint32_t(oldNs + 1) >> 1, n1 = uint32_t(ns + 1) >> 1;
  uint32_t target = stats;
  if (n0 != n1) target = ShrinkUnits(stats, n0, n1);
  for (int i = 0; i < ns; ++i) WriteState(target + 6 * i, st[i]);
  SetStats(ctx, target);
  foundState_ = target;
}

bool Model::CreateSuccessors(Mode mode, uint32_t p) {
  const uint32_t fs = foundState_;
  const uint8_t fsSymbol = Sym(fs);
  const uint32_t up = Succ(fs);  // the placeholder U
  if (up == 0 || NumStats(up) != 0) {
    Guard();
    return false;
  }
  uint32_t pc = minContext_;
  uint32_t list[kMaxOrder + 2];
  int n = 0;

  if (mode == Mode::kPush) {
    list[n++] = fs;
    if (Suffix(pc) == 0) goto frequency;
  } else if (mode == Mode::kSkip) {
    pc = Suffix(pc);
    if (pc == 0) {
      Guard();
      return false;
    }
  }
  // With order 1 there may be no lower context to visit: U then hangs off pc.
  if (Suffix(pc) == 0) goto frequency;
  if (p != 0) {
    pc = Suffix(pc);
    goto test;
  }
  for (;;) {
    pc = Suffix(pc);
    p = FindState(pc, fsSymbol);
    if (p == 0) {
      Guard();
      return false;
    }
  test:
    if (Succ(p) != up) {
      pc = Succ(p);
      break;
    }
    if (n >= kMaxOrder + 2) {
      Guard();
      return false;
    }
    list[n++] = p;
    if (Suffix(pc) == 0) break;
  }

frequency:
  if (pc == 0 || NumStats(pc) == 0) {
    Guard();
    return false;
  }
  {
    const uint32_t u = up + 2;
    uint8_t uFreq;
    if (NumStats(pc) == 1) {
      uFreq = Freq(pc + 2);
    } else {
      uint32_t q = FindState(pc, Sym(u));
      int cf = 0;
      if (q != 0) {
        cf = Freq(q) - 1;
      } else {
        Guard();
      }
      int s0 = SummFreq(pc) - NumStats(pc) - cf;
      if (2 * cf <= s0) {
        uFreq = uint8_t(1 + (5 * cf > s0 ? 1 : 0));
      } else {
        if (s0 <= 0) {
          Guard();
          s0 = 1;
        }
        uFreq = uint8_t(1 + (2 * cf + 3 * s0 - 1) / (2 * s0));
      }
    }
    heap_[u + 1] = uFreq;
    const StateRec upState = ReadState(u);

    while (n > 0) {
      uint32_t child = AllocContext();
      if (child == 0) return false;
      SetSucc(list[--n], child);
      SetNumStats(child, 1);
      WriteState(child + 2, upState);
      SetSuffix(child, pc);
      pc = child;
    }
    if (orderFall_ == 0) {
      SetNumStats(up, 1);
      SetSuffix(up, pc);
    }
  }
  return true;
}

void Model::UpdateModel() {
  const uint32_t fs = foundState_;
  const uint8_t fsSymbol = Sym(fs);
  const int fsFreq = Freq(fs);
  const uint32_t fsSucc = Succ(fs);
  uint32_t p = 0;

  // 1. Inherit into the suffix.
  uint32_t suffix = Suffix(minContext_);
  if (fsFreq < 31 && suffix != 0) {
    if (NumStats(suffix) == 1) {
      p = suffix + 2;
      if (Freq(p) < 32) heap_[p + 1]++;
    } else {
      p = StatsOf(suffix);
      if (Sym(p) != fsSymbol) {
        p = FindState(suffix, fsSymbol);
        if (p == 0) {
          Guard();
        } else if (Freq(p) >= Freq(p - 6)) {
          SwapStates(p, p - 6);
          p -= 6;
        }
      }
      if (p != 0 && Freq(p) < 108) {
        heap_[p + 1] += 2;
        SetSummFreq(suffix, SummFreq(suffix) + 2);
      }
    }
  }

  // 2. At the maximum order: make the successor real from the lower orders.
  if (orderFall_ == 0) {
    if (!CreateSuccessors(Mode::kSkip, 0)) {
      Restart();
      return;
    }
    minContext_ = maxContext_ = Succ(foundState_);
    return;
  }

  // 3. The successor of the new states.
  --orderFall_;
  uint32_t successor;
  Mode mode;
  if (orderFall_ == 0 && fsSucc != 0) {
    successor = fsSucc;
    mode = Mode::kPlain;
  } else {
    // A state without successor always gets a fresh placeholder: order fall is
    // restored below, and the text history goes on.
    successor = AllocContext();
    if (successor == 0) {
      Restart();
      return;
    }
    SetNumStats(successor, 0);
    mode = Mode::kPush;
  }

  // 4. Extend the text history.
  if (textTail_ != 0 && NumStats(textTail_) == 0) {
    heap_[textTail_ + 2] = fsSymbol;
    SetSucc(textTail_ + 2, successor);
  }

  // 5. Add the symbol to every context that escaped.
  const int ns = NumStats(minContext_);
  const int s0 = SummFreq(minContext_) - ns - (fsFreq - 1);
  int steps = 0;
  for (uint32_t pc = maxContext_; pc != minContext_; pc = Suffix(pc)) {
    if (pc == 0 || ++steps > kMaxOrder + 1) {
      Guard();
      Restart();
      return;
    }
    const int ns1 = NumStats(pc);
    int summ;
    if (ns1 == 1) {
      uint32_t a = AllocUnits(1);
      if (a == 0) {
        Restart();
        return;
      }
      StateRec one = ReadState(pc + 2);
      one.freq = uint8_t(one.freq < 30 ? 2 * one.freq : 120);
      WriteState(a, one);
      SetStats(pc, a);
      summ = one.freq + initEsc_ + (ns > 3 ? 1 : 0);
    } else {
      if ((ns1 & 1) == 0) {
        uint32_t a = ExpandUnits(StatsOf(pc), uint32_t(ns1) >> 1);
        if (a == 0) {
          Restart();
          return;
        }
        SetStats(pc, a);
      }
      summ = SummFreq(pc);
      summ += (2 * ns1 < ns ? 1 : 0) + 2 * ((4 * ns1 <= ns && summ <= 8 * ns1) ? 1 : 0);
    }
    int cf = 2 * fsFreq * (summ + 6);
    const int sf = s0 + summ;
    if (cf < 6 * sf) {
      cf = 1 + (cf > sf ? 1 : 0) + (cf >= 4 * sf ? 1 : 0);
      summ += 3;
    } else {
      cf = 4 + (cf >= 9 * sf ? 1 : 0) + (cf >= 12 * sf ? 1 : 0) + (cf >= 15 * sf ? 1 : 0);
      summ += cf;
    }
    SetSummFreq(pc, summ);
    WriteState(StatsOf(pc) + 6 * ns1, StateRec{fsSymbol, uint8_t(cf), successor});
    SetNumStats(pc, ns1 + 1);
  }

  // 6. Move to the successor context.
  if (fsSucc != 0) {
    if (NumStats(fsSucc) == 0 && !CreateSuccessors(mode, p)) {
      Restart();
      return;
    }
    minContext_ = Succ(foundState_);
  } else {
    SetSucc(foundState_, successor);
    ++orderFall_;
  }

  // 7.
  maxContext_ = minContext_;
  textTail_ = successor;
}

// ---- range coder ----

class RangeEncoder {
 public:
  RangeEncoder(uint8_t* out, int64_t capacity) : out_(out), capacity_(capacity) {}

  void Encode(uint32_t lo, uint32_t size, uint32_t total) {
    uint32_t r = range_ / total;
    if (r == 0 || size == 0 || lo >= total || size > total - lo) failed_ = true;
    low_ += lo * r;
    range_ = size * r;
  }
  void EncodeBin(uint32_t lo, uint32_t size) {
    range_ >>= kBinBits;
    low_ += lo * range_;
    range_ *= size;
  }
  void Normalize() {
    for (;;) {
      if ((low_ ^ (low_ + range_)) >= kTop) {
        if (range_ >= kBot) break;
        range_ = (0u - low_) & (kBot - 1);
      }
      if (failed_) return;  // a collapsed range would never leave this loop
      Put(uint8_t(low_ >> 24));
      low_ <<= 8;
      range_ <<= 8;
    }
  }
  void Flush() {
    for (int i = 0; i < 4; ++i) {
      Put(uint8_t(low_ >> 24));
      low_ <<= 8;
    }
  }
  bool failed() const { return failed_; }
  int64_t written() const { return pos_; }

 private:
  void Put(uint8_t b) {
    if (pos_ >= capacity_) {
      failed_ = true;
      return;
    }
    out_[pos_++] = b;
  }

  uint8_t* out_;
  int64_t capacity_;
  int64_t pos_ = 0;
  uint32_t low_ = 0, range_ = 0xFFFFFFFFu;
  bool failed_ = false;
};

class RangeDecoder {
 public:
  RangeDecoder(const uint8_t* in, int64_t size) : in_(in), size_(size) {
    for (int i = 0; i < 4; ++i) code_ = (code_ << 8) | Next();
  }

  // Count within `total`; also fixes the range unit for the following Decode.
  uint32_t GetCount(uint32_t total) {
    range_ /= total;
    if (range_ == 0) {
      corrupt_ = true;
      return 0;
    }
    return (code_ - low_) / range_;
  }
  uint32_t GetCountBin() {
    range_ >>= kBinBits;
    if (range_ == 0) {
      corrupt_ = true;
      return 0;
    }
    return (code_ - low_) / range_;
  }
  void Decode(uint32_t lo, uint32_t size) {
    low_ += lo * range_;
    range_ *= size;
  }
  void Normalize() {
    for (int rounds = 0;; ++rounds) {
      if ((low_ ^ (low_ + range_)) >= kTop) {
        if (range_ >= kBot) break;
        range_ = (0u - low_) & (kBot - 1);
      }
      if (range_ == 0 || rounds > 64) {
        corrupt_ = true;
        return;
      }
      code_ = (code_ << 8) | Next();
      low_ <<= 8;
      range_ <<= 8;
    }
  }
  bool corrupt() const { return corrupt_; }

 private:
  uint32_t Next() { return pos_ < size_ ? in_[pos_++] : 0xFFu; }

  const uint8_t* in_;
  int64_t size_;
  int64_t pos_ = 0;
  uint32_t low_ = 0, range_ = 0xFFFFFFFFu, code_ = 0;
  bool corrupt_ = false;
};

// Codes one symbol (or kEndSymbol). Returns false when the block ended.
bool EncodeSymbol(Model& m, RangeEncoder& rc, int symbol) {
  if (!m.CurrentUsable()) return false;
  uint32_t ctx = m.MinContext();
  int ns = m.NumStats(ctx);
  if (ns != 1) {
    uint32_t total = uint32_t(m.SummFreq(ctx));
    uint32_t s = m.StatsOf(ctx);
    if (m.Sym(s) == symbol) {
      rc.Encode(0, m.Freq(s), total);
      m.FirstHit(s);
      goto found;
    }
    uint32_t lo = m.Freq(s);
    for (int i = 1; i < ns; ++i) {
      s += 6;
      if (m.Sym(s) == symbol) {
        rc.Encode(lo, m.Freq(s), total);
        m.LaterHit(s);
        goto found;
      }
      lo += m.Freq(s);
    }
    rc.Encode(lo, total - lo, total);
    m.MaskAll();
  } else {
    uint16_t* cell = m.BinCell();
    uint32_t p = *cell;
    if (m.Sym(ctx + 2) == symbol) {
      rc.EncodeBin(0, p);
      m.BinHit(cell);
      goto found;
    }
    rc.EncodeBin(p, kBinTotal - p);
    m.BinMiss(cell);
  }
  for (;;) {
    rc.Normalize();
    if (rc.failed() || !m.Climb()) return false;
    ctx = m.MinContext();
    ns = m.NumStats(ctx);
    uint32_t escFreq;
    See* see = m.MakeEscFreq(&escFreq);
    uint32_t s = m.StatsOf(ctx);
    uint32_t sum = 0, lo = 0, hit = 0;
    for (int i = 0; i < ns; ++i, s += 6) {
      if (m.Masked(s)) continue;
      if (m.Sym(s) == symbol) {
        hit = s;
        lo = sum;
      }
      sum += m.Freq(s);
    }
    uint32_t total = sum + escFreq;
    if (hit != 0) {
      rc.Encode(lo, m.Freq(hit), total);
      m.MaskedHit(hit, see);
      break;
    }
    rc.Encode(sum, escFreq, total);
    m.MaskedMiss(see, total);
  }
found:
  m.AfterSymbol();
  rc.Normalize();
  return !rc.failed();
}

// Decodes one symbol. Returns it (0..255), or -1 when the block ended or the
// input proved corrupt.
int DecodeSymbol(Model& m, RangeDecoder& rc) {
  if (!m.CurrentUsable()) return -1;
  uint32_t ctx = m.MinContext();
  int ns = m.NumStats(ctx);
  uint32_t foundSym;
  if (ns != 1) {
    uint32_t total = uint32_t(m.SummFreq(ctx));
    uint32_t count = rc.GetCount(total);
    if (rc.corrupt()) return -1;
    uint32_t s = m.StatsOf(ctx);
    uint32_t hi = m.Freq(s);
    if (count < hi) {
      rc.Decode(0, hi);
      foundSym = m.Sym(s);
      m.FirstHit(s);
      goto found;
    }
    for (int i = 1; i < ns; ++i) {
      s += 6;
      uint32_t lo = hi;
      hi += m.Freq(s);
      if (hi > count) {
        rc.Decode(lo, m.Freq(s));
        foundSym = m.Sym(s);
        m.LaterHit(s);
        goto found;
      }
    }
    rc.Decode(hi, total - hi);
    m.MaskAll();
  } else {
    uint16_t* cell = m.BinCell();
    uint32_t p = *cell;
    uint32_t count = rc.GetCountBin();
    if (rc.corrupt()) return -1;
    if (count < p) {
      rc.Decode(0, p);
      foundSym = m.Sym(ctx + 2);
      m.BinHit(cell);
      goto found;
    }
    rc.Decode(p, kBinTotal - p);
    m.BinMiss(cell);
  }
  for (;;) {
    rc.Normalize();
    if (rc.corrupt() || !m.Climb()) return -1;
    ctx = m.MinContext();
    ns = m.NumStats(ctx);
    uint32_t escFreq;
    See* see = m.MakeEscFreq(&escFreq);
    uint32_t states[256];
    int n = 0;
    uint32_t sum = 0;
    uint32_t s = m.StatsOf(ctx);
    for (int i = 0; i < ns; ++i, s += 6) {
      if (m.Masked(s)) continue;
      states[n++] = s;
      sum += m.Freq(s);
    }
    uint32_t total = sum + escFreq;
    uint32_t count = rc.GetCount(total);
    if (rc.corrupt()) return -1;
    if (count < sum) {
      uint32_t hi = 0;
      int k = 0;
      for (;; ++k) {
        hi += m.Freq(states[k]);
        if (hi > count) break;
      }
      uint32_t f = m.Freq(states[k]);
      rc.Decode(hi - f, f);
      foundSym = m.Sym(states[k]);
      m.MaskedHit(states[k], see);
      break;
    }
    rc.Decode(sum, escFreq);
    m.MaskedMiss(see, total);
  }
found:
  m.AfterSymbol();
  rc.Normalize();
  if (rc.corrupt()) return -1;
  return int(foundSym);
}

std::unique_ptr<Model> NewModel(int order, int memoryMiB) {
  std::unique_ptr<Model> model(new (std::nothrow) Model(order, uint32_t(memoryMiB) << 20));
  if (!model || !model->TakeHeap()) return nullptr;
  model->Start();
  return model;
}

void Publish(const Model* m) {
  tlsRestarts = m ? m->restarts() : 0;
  tlsGuards = m ? m->guards() : 0;
}

}  // namespace

int32_t PpmdCompressBlock(const uint8_t* source, int32_t length, uint8_t* destination, int32_t order,
                          int32_t memoryMiB) {
  if (length < 0 || length > (INT32_MAX - 50) / 21 * 20) {
    Publish(nullptr);
    return 0;
  }
  return PpmdCompressBlockInto(source, length, destination, length + length / 20 + 50, order, memoryMiB);
}

int32_t PpmdCompressBlockInto(const uint8_t* source, int32_t length, uint8_t* destination,
                              int32_t capacity, int32_t order, int32_t memoryMiB) {
  Publish(nullptr);
  if (destination == nullptr || length < 0 || (length > 0 && source == nullptr) || order < 1 ||
      order > kMaxOrder || memoryMiB < 1 || memoryMiB > 256 || capacity < 4) {
    return 0;
  }
  const uint32_t word = uint32_t(order - 1) | uint32_t(memoryMiB - 1) << 4 | 6u << 12;
  for (int i = 0; i < 4; ++i) destination[i] = uint8_t(word >> (8 * i));

  std::unique_ptr<Model> model = NewModel(order, memoryMiB);
  if (!model) return 0;
  RangeEncoder rc(destination + 4, capacity - 4);
  bool ok = true;
  for (int32_t i = 0; i < length && ok; ++i) ok = EncodeSymbol(*model, rc, source[i]);
  // The end of the block: a symbol no context holds escapes out of order 0.
  if (ok && !EncodeSymbol(*model, rc, kEndSymbol)) rc.Flush();
  Publish(model.get());
  if (!ok || rc.failed()) return 0;
  return int32_t(4 + rc.written());
}

int32_t PpmdDecompressBlock(const uint8_t* source, int32_t length, uint8_t* destination,
                            int32_t destinationLength) {
  Publish(nullptr);
  if (source == nullptr || length < 4 || destinationLength < 0 ||
      (destinationLength > 0 && destination == nullptr)) {
    return 0;
  }
  const uint32_t word = uint32_t(source[0]) | uint32_t(source[1]) << 8 | uint32_t(source[2]) << 16 |
                        uint32_t(source[3]) << 24;
  if ((word >> 12) != 6) return 0;
  const int order = int(word & 15) + 1;
  const int memoryMiB = int((word >> 4) & 255) + 1;

  std::unique_ptr<Model> model = NewModel(order, memoryMiB);
  if (!model) return 0;
  RangeDecoder rc(source + 4, int64_t(length) - 4);
  int32_t count = 0;
  for (;;) {
    int symbol = DecodeSymbol(*model, rc);
    if (symbol < 0) break;
    if (count >= destinationLength) {  // more bytes than the block can hold: corrupt
      count = 0;
      break;
    }
    destination[count++] = uint8_t(symbol);
  }
  if (rc.corrupt()) count = 0;
  Publish(model.get());
  return count;
}

int32_t PpmdLastRestartCount() { return tlsRestarts; }

int32_t PpmdLastGuardCount() { return tlsGuards; }
