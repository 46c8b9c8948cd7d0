// Shortest path over positions 0..n, computed forwards. Lengths of one class
// c (2^c + 1 to 2^(c+1); c = 0 is the length 2 alone) cost the same at a
// given P, so the cost of reaching Q with a class-c match is
//
//   2 + 2c + min over P in W_c(Q) of (dist[P] + CeilLog2(P))
//
// with W_c(Q) the P in [Q - 2^(c+1), Q - 2^c - 1] whose longest previous
// factor reaches Q (P + longest[P] >= Q). P + longest[P] never decreases with
// P (the factor at P, shifted by one, occurs before P + 1), so both ends of
// W_c(Q) move forward with Q, and a deque that keeps increasing keys gives
// the window's minimum in amortised constant time. A block of one repeated
// byte therefore costs no more per position than any other.
#include "encode/lz/lz_optimal_parse.h"
#include "encode/lz/cpu_dispatch.h"

#include <cstring>

namespace {

constexpr int32_t kMaxClasses = 16;  // lengths up to 65536

// Lengths 2 to 17 (classes 0 to 3, and the first of class 4) are priced one
// by one, sixteen lanes without branches: their windows are short and change
// at every step. Classes 4 and up use the deques; few positions in ordinary
// data reach them.
constexpr int32_t kDirectLengths = 16;  // lanes, one per length
constexpr int32_t kFirstDequeClass = 4;
constexpr int32_t kPadding = kDirectLengths;  // positions below 0 that read as unusable

// A candidate's cost and its distance back (1 for the literal), packed so
// that one unsigned minimum picks the cheapest and, among equals, the
// shortest token. Costs stay below 2^26 for blocks up to 65536 bytes.
inline uint32_t Pack(int32_t cost, int32_t back) {
  return static_cast<uint32_t>(cost) << 5 | static_cast<uint32_t>(back);
}

// Four lanes; GCC lowers them to whatever vector unit the target has.
typedef int32_t Lanes __attribute__((vector_size(16)));

// The keys of positions q - 17 .. q - 2, kept in registers and shifted by
// one position per step. Leaving out q - 1 (which would only be a length
// of 1) keeps the step's matches independent of the step just before it,
// so consecutive steps overlap; and loading the keys from memory instead
// would read keys just stored, which a wide load must wait for.
struct RecentKeys {
  Lanes lanes[4] = {};

  void Push(int32_t key) {
    Lanes incoming = {key, key, key, key};
    lanes[0] = __builtin_shufflevector(lanes[0], lanes[1], 1, 2, 3, 4);
    lanes[1] = __builtin_shufflevector(lanes[1], lanes[2], 1, 2, 3, 4);
    lanes[2] = __builtin_shufflevector(lanes[2], lanes[3], 1, 2, 3, 4);
    lanes[3] = __builtin_shufflevector(lanes[3], incoming, 1, 2, 3, 4);
  }
};

// The lengths 2 to 17 priced against positions q - 17 .. q - 2, four lanes
// at a time: per lane the cost of its length (2 + 2c) shifted into place
// with the length itself. (17 is also the deques' first length.)
struct DirectPrices {
  Lanes packedCost[4];

  DirectPrices() {
    for (int32_t lane = 0; lane < kDirectLengths; lane++) {
      int32_t back = kDirectLengths + 1 - lane;
      packedCost[lane / 4][lane % 4] = static_cast<int32_t>(Pack(2 + 2 * LengthClass(back), back));
    }
  }

  // The packed best of those lengths ending at q, or INT32_MAX.
  inline uint32_t Best(const RecentKeys& keys, const int32_t* reach, int32_t q) const {
    const Lanes none = {INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX};
    Lanes best = none;
    Lanes target = {q, q, q, q};
    for (int32_t v = 0; v < 4; v++) {
      Lanes candidate = (keys.lanes[v] << 5) + packedCost[v];
      Lanes reaches;  // no function returns a vector: on targets without one that changes the ABI
      memcpy(&reaches, reach + q - kDirectLengths - 1 + 4 * v, sizeof reaches);
      Lanes usable = reaches >= target;
      candidate = (candidate & usable) | (none & ~usable);
      best = candidate < best ? candidate : best;
    }
    int32_t a = best[0] < best[1] ? best[0] : best[1];
    int32_t b = best[2] < best[3] ? best[2] : best[3];
    return static_cast<uint32_t>(a < b ? a : b);
  }
};

// One position waiting in a window: its key and the last Q it reaches in the
// window's class, min(P + 2^(c+1), P + longest[P]).
struct Candidate {
  int32_t position;
  int32_t key;
  int32_t lastTarget;
};

// A ring of capacity 2^c holding candidates in increasing position, with
// increasing keys and non-decreasing last targets. W_c(Q) holds at most 2^c
// positions, and expired candidates leave before each push.
struct Window {
  Candidate* ring;
  uint32_t mask;
  uint32_t head;  // index of the front
  uint32_t tail;  // one past the back

  bool Empty() const { return head == tail; }
  const Candidate& Front() const { return ring[head & mask]; }
  const Candidate& Back() const { return ring[(tail - 1) & mask]; }
};

inline int32_t ClassLow(int32_t c) {
  return c == 0 ? 2 : (1 << c) + 1;
}
inline int32_t ClassHigh(int32_t c) {
  return 2 << c;
}

}  // namespace

size_t OptimalParseScratchCount(int32_t n) {
  // dist, key, reach and the push events for [-16, n], and the rings: 2^c
  // candidates of three values for every class c >= 4 whose least length
  // fits, under 3 * 2n in all.
  return 4 * (static_cast<size_t>(n) + 1 + kPadding) + 6 * static_cast<size_t>(n) + 16;
}

QW_HOT_CLONES uint32_t FindOptimalParse(const int32_t* longest, int32_t n, int32_t* from,
                                        int32_t* scratch) {
  if (n <= 0) return 0;
  int32_t* dist = scratch + kPadding;
  int32_t* key = dist + n + 1 + kPadding;   // dist[P] + CeilLog2(P): what a match from P adds to
  int32_t* reach = key + n + 1 + kPadding;  // P + longest[P] when a match can start at P, else -1
  // events[Q]: the deque classes c that position Q - ClassLow(c) enters at Q.
  uint32_t* events = reinterpret_cast<uint32_t*>(reach + n + 1);
  Candidate* rings = reinterpret_cast<Candidate*>(events + n + 1);

  int32_t longestOverall = 0;
  for (int32_t p = -kPadding; p < 0; p++) key[p] = 0, reach[p] = -1;
  reach[0] = -1;  // no match starts at 0
  for (int32_t p = 1; p < n; p++) {
    reach[p] = longest[p] >= 2 ? p + longest[p] : -1;
    if (longest[p] > longestOverall) longestOverall = longest[p];
  }
  int32_t classes = longestOverall >= 2 ? LengthClass(longestOverall) + 1 : 0;
  const DirectPrices direct;
  RecentKeys recent;

  Window windows[kMaxClasses];
  for (int32_t c = kFirstDequeClass, used = 0; c < classes; c++) {
    windows[c] = {rings + used, (1u << c) - 1, 0, 0};
    used += 1 << c;
  }
  for (int32_t q = 0; q <= n; q++) events[q] = 0;

  dist[0] = 0;
  key[0] = 0;
  uint32_t active = 0;  // the deque classes whose window is not empty
  for (int32_t q = 1; q <= n; q++) {
    // A match from q - 1 of class c can first end at q - 1 + ClassLow(c).
    int32_t p = q - 1;
    if (longest[p] > kDirectLengths && p >= 1) {
      int32_t top = LengthClass(longest[p]);
      for (int32_t c = kFirstDequeClass; c <= top; c++) {
        int32_t entry = p + ClassLow(c);
        if (entry <= n) events[entry] |= 1u << c;
      }
    }

    uint32_t best = Pack(dist[q - 1] + kLiteralBits, 1);
    uint32_t bestMatch = direct.Best(recent, reach, q);
    best = bestMatch < best ? bestMatch : best;
    int32_t bestCost = static_cast<int32_t>(best >> 5);
    int32_t bestFrom = q - static_cast<int32_t>(best & 31);

    active |= events[q];
    for (uint32_t pending = active; pending; pending &= pending - 1) {
      int32_t c = __builtin_ctz(pending);
      Window& w = windows[c];
      while (!w.Empty() && w.Front().lastTarget < q) w.head++;
      if (events[q] & (1u << c)) {
        int32_t entering = q - ClassLow(c);
        int32_t lastTarget =
            entering + (longest[entering] < ClassHigh(c) ? longest[entering] : ClassHigh(c));
        while (!w.Empty() && w.Back().key >= key[entering]) w.tail--;
        w.ring[w.tail++ & w.mask] = {entering, key[entering], lastTarget};
      }
      if (w.Empty()) {
        active &= ~(1u << c);
        continue;
      }
      int32_t cost = w.Front().key + 2 + 2 * c;
      if (cost < bestCost) {
        bestCost = cost;
        bestFrom = w.Front().position;
      }
    }
    dist[q] = bestCost;
    key[q] = bestCost + OffsetBits(q);
    recent.Push(key[q - 1]);
    from[q] = bestFrom;
  }
  return static_cast<uint32_t>(dist[n]);
}
