#include "serial/local/byte_ring.h"

namespace {

std::uint32_t countOf(std::uint16_t writeIndex, std::uint16_t readIndex) {
    return writeIndex >= readIndex ? std::uint32_t(writeIndex - readIndex)
                                   : std::uint32_t(writeIndex - readIndex + kRingSlots);
}

} // namespace

void ringInit(ByteRing& ring) {
    ring.readIndex.store(0, std::memory_order_relaxed);
    ring.writeIndex.store(0, std::memory_order_release);
    ring.capacity = 4096;
    ring.spare = 0;
}

void ringPush(ByteRing& ring, std::uint8_t byte) {
    std::uint16_t w = ring.writeIndex.load(std::memory_order_relaxed);
    const std::uint16_t r = ring.readIndex.load(std::memory_order_acquire);
    ring.data[w] = byte;
    if (countOf(w, r) < kRingSlots - 1) ++w;
    ring.writeIndex.store(std::uint16_t(w & kRingMask), std::memory_order_release);
}

std::uint8_t ringPop(ByteRing& ring) {
    const std::uint16_t r = ring.readIndex.load(std::memory_order_relaxed);
    (void)ring.writeIndex.load(std::memory_order_acquire); // pairs with the push that covered slot r
    const std::uint8_t byte = ring.data[r];
    ring.readIndex.store(std::uint16_t((r + 1) & kRingMask), std::memory_order_release);
    return byte;
}

std::uint32_t ringCount(const ByteRing& ring) {
    return countOf(ring.writeIndex.load(std::memory_order_acquire), ring.readIndex.load(std::memory_order_acquire));
}

std::uint32_t ringTransfer(ByteRing& from, ByteRing& to) {
    std::uint16_t fr = from.readIndex.load(std::memory_order_relaxed);
    const std::uint16_t fw = from.writeIndex.load(std::memory_order_acquire);
    std::uint16_t tw = to.writeIndex.load(std::memory_order_relaxed);
    const std::uint16_t tr = to.readIndex.load(std::memory_order_acquire);
    const std::uint32_t moved = countOf(fw, fr);
    for (std::uint32_t i = 0; i < moved; ++i) {
        to.data[tw] = from.data[fr];
        fr = std::uint16_t((fr + 1) & kRingMask);
        if (countOf(tw, tr) < kRingSlots - 1) tw = std::uint16_t((tw + 1) & kRingMask);
    }
    from.readIndex.store(fr, std::memory_order_release);
    to.writeIndex.store(tw, std::memory_order_release);
    return moved;
}
