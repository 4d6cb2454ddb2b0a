#pragma once
// Fixed 4096-slot circular byte queue with 12-bit indices.
//
// At most 4095 bytes are held: the slot at writeIndex is never content. A push
// into a full ring stores its byte in that free slot without advancing, so the
// byte is lost and the 4095 held bytes stay as they were.
//
// One thread may push while another pops (single producer, single consumer).
// Each side loads its own index relaxed and the other side's with acquire, and
// publishes its own index with a release store, so a popper never sees an
// index advance before the byte it covers.

#include <atomic>
#include <cstdint>

struct ByteRing {
    std::uint8_t data[4096];               // written by the pushing thread only
    std::atomic<std::uint16_t> writeIndex; // written by the pushing thread only
    std::atomic<std::uint16_t> readIndex;  // written by the popping thread only
    std::uint16_t capacity;                // 4096 after ringInit; informational
    std::uint16_t spare;                   // 0 after ringInit; unused
};

inline constexpr std::uint32_t kRingSlots = 4096;
inline constexpr std::uint16_t kRingMask = 0x0FFF;

// Empties the ring. The slots keep their old bytes.
void ringInit(ByteRing& ring);

// Appends one byte; drops it when 4095 bytes are already held. Pushing thread.
void ringPush(ByteRing& ring, std::uint8_t byte);

// Removes and returns the oldest byte. The ring must not be empty. Popping thread.
std::uint8_t ringPop(ByteRing& ring);

// Bytes held, 0 to 4095. Either thread.
std::uint32_t ringCount(const ByteRing& ring);

// Moves every byte of `from` into `to`, oldest first, and makes them visible to
// the popper of `to` with a single release store of its writeIndex, so a
// concurrent pop sees either none of the batch or all of it. Bytes that do not
// fit in `to` are dropped as ringPush drops them. The caller must be the only
// popper of `from` and the only pusher of `to`. Returns the bytes taken from `from`.
std::uint32_t ringTransfer(ByteRing& from, ByteRing& to);
