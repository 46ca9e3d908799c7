// A checksum of the bytes a run read, to tell afterwards whether the file
// still holds them: a rewrite that leaves its size and times alone (through
// a shared memory mapping, or within one tick of a coarse clock) changes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace textmatte {

// A 64-bit hash of a byte stream taken in pieces of any size, the same
// whatever the pieces. Four lanes of multiply-rotate rounds over 32-byte
// stripes keep it far faster than the reading; the seed, the run's own,
// keeps another program from making a file with the same checksum.
class Checksum {
  public:
    explicit Checksum(std::uint64_t seed) { start(seed); }

    // Starts again, for the same bytes read once more.
    void start(std::uint64_t seed) {
        seed_ = seed;
        lanes_[0] = seed + kPrime1 + kPrime2;
        lanes_[1] = seed + kPrime2;
        lanes_[2] = seed;
        lanes_[3] = seed - kPrime1;
        length_ = 0;
        held_ = 0;
    }

    void add(const char* data, std::size_t size) {
        length_ += size;
        if (held_ > 0) {
            const std::size_t take = size < kStripe - held_ ? size : kStripe - held_;
            std::memcpy(stripe_ + held_, data, take);
            held_ += take;
            data += take;
            size -= take;
            if (held_ < kStripe) return;
            mix_stripe(stripe_);
            held_ = 0;
        }
        for (; size >= kStripe; data += kStripe, size -= kStripe)
            mix_stripe(data);
        std::memcpy(stripe_, data, size);
        held_ = size;
    }

    std::uint64_t value() const {
        std::uint64_t h =
            rotl(lanes_[0], 1) + rotl(lanes_[1], 7) + rotl(lanes_[2], 12) + rotl(lanes_[3], 18);
        for (std::uint64_t lane : lanes_)
            h = (h ^ round(0, lane)) * kPrime1 + kPrime4;
        h += length_ ^ seed_;
        std::size_t at = 0;
        for (; at + 8 <= held_; at += 8)
            h = rotl(h ^ round(0, word(stripe_ + at)), 27) * kPrime1 + kPrime4;
        for (; at < held_; ++at)
            h = rotl(h ^ (static_cast<unsigned char>(stripe_[at]) * kPrime5), 11) * kPrime1;
        h ^= h >> 33;
        h *= kPrime2;
        h ^= h >> 29;
        h *= kPrime3;
        return h ^ (h >> 32);
    }

  private:
    static constexpr std::size_t kStripe = 32;
    static constexpr std::uint64_t kPrime1 = 0x9E3779B185EBCA87u;
    static constexpr std::uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Fu;
    static constexpr std::uint64_t kPrime3 = 0x165667B19E3779F9u;
    static constexpr std::uint64_t kPrime4 = 0x85EBCA77C2B2AE63u;
    static constexpr std::uint64_t kPrime5 = 0x27D4EB2F165667C5u;

    static std::uint64_t rotl(std::uint64_t x, int r) { return (x << r) | (x >> (64 - r)); }
    static std::uint64_t round(std::uint64_t lane, std::uint64_t input) {
        return rotl(lane + input * kPrime2, 31) * kPrime1;
    }
    // Eight bytes as one number, the same on every platform.
    static std::uint64_t word(const char* p) {
        std::uint64_t w = 0;
        for (int i = 7; i >= 0; --i)
            w = (w << 8) | static_cast<unsigned char>(p[i]);
        return w;
    }
    void mix_stripe(const char* p) {
        for (int lane = 0; lane < 4; ++lane)
            lanes_[lane] = round(lanes_[lane], word(p + 8 * lane));
    }

    std::uint64_t seed_ = 0;
    std::uint64_t lanes_[4] = {};
    std::uint64_t length_ = 0;
    char stripe_[kStripe] = {};
    std::size_t held_ = 0;
};

} // namespace textmatte
