// The ChaCha rounds, written once over the type that holds the words: a single word (the
// reference refill), one word of many blocks side by side (a register of lanes, one block per
// lane), or a whole row of four words of one or two blocks.
//
// An operations type W provides
//   word                   what one quarter-round operand holds
//   add(x, y), bit_xor(x, y), rotl<Bits>(x)   the three operations on 32-bit words
// and, for the row form, a row type R is such a W, with also
//   BLOCKS                 blocks per row register (their rows side by side)
//   constant_row(), key_row(words), counter_row(block, stream)   the input rows; counter_row
//                          holds blocks block to block + BLOCKS - 1
//   rotate_words<N>(row)   every block's row rotated by N words toward word 0
//   store(out, a, b, c, d) the BLOCKS blocks whose rows these are, consecutively at out
//
// Generic code: a vector level includes this inside its target region (isa/target.hpp).
#pragma once

#ifndef VELMORA_KERNEL_PREREQUISITES_INCLUDED
#error "include isa/kernel_prerequisites.hpp before the target region that includes this header"
#endif

namespace velmora::chacha {

template <class W>
VELMORA_LANE_INLINE void quarter_round(typename W::word& a, typename W::word& b,
                                       typename W::word& c, typename W::word& d) {
    a = W::add(a, b);
    d = W::template rotl<16>(W::bit_xor(d, a));
    c = W::add(c, d);
    b = W::template rotl<12>(W::bit_xor(b, c));
    a = W::add(a, b);
    d = W::template rotl<8>(W::bit_xor(d, a));
    c = W::add(c, d);
    b = W::template rotl<7>(W::bit_xor(b, c));
}

// The sixteen state words. A plain array, not std::array: a vector register type would lose its
// alignment attributes as a template argument.
template <class W>
struct Words {
    typename W::word w[16];

    static constexpr std::size_t size() { return 16; }
    VELMORA_LANE_INLINE typename W::word& operator[](std::size_t k) { return w[k]; }
    VELMORA_LANE_INLINE const typename W::word& operator[](std::size_t k) const { return w[k]; }
};

// The block function on state words 0 to 15: the rounds, then the input added back.
template <class W>
VELMORA_LANE_INLINE Words<W> block_words(const Words<W>& input) {
    Words<W> x = input;
    for (int double_round = 0; double_round < CHACHA_DOUBLE_ROUNDS; ++double_round) {
        quarter_round<W>(x[0], x[4], x[8], x[12]);
        quarter_round<W>(x[1], x[5], x[9], x[13]);
        quarter_round<W>(x[2], x[6], x[10], x[14]);
        quarter_round<W>(x[3], x[7], x[11], x[15]);
        quarter_round<W>(x[0], x[5], x[10], x[15]);
        quarter_round<W>(x[1], x[6], x[11], x[12]);
        quarter_round<W>(x[2], x[7], x[8], x[13]);
        quarter_round<W>(x[3], x[4], x[9], x[14]);
    }
    for (std::size_t k = 0; k < x.size(); ++k) {
        x[k] = W::add(x[k], input[k]);
    }
    return x;
}

template <class R>
struct Rows {
    typename R::word a, b, c, d;
};

// The quarter round on the four columns of every block of the rows at once.
template <class R>
VELMORA_LANE_INLINE void column_round(Rows<R>& r) {
    quarter_round<R>(r.a, r.b, r.c, r.d);
}

// Rotates rows b, c and d by one, two and three words so that the diagonals line up as columns
// (lane 0 then holds words 0, 5, 10, 15), and back again.
template <class R>
VELMORA_LANE_INLINE void diagonalise(Rows<R>& r) {
    r.b = R::template rotate_words<1>(r.b);
    r.c = R::template rotate_words<2>(r.c);
    r.d = R::template rotate_words<3>(r.d);
}

template <class R>
VELMORA_LANE_INLINE void undiagonalise(Rows<R>& r) {
    r.b = R::template rotate_words<3>(r.b);
    r.c = R::template rotate_words<2>(r.c);
    r.d = R::template rotate_words<1>(r.d);
}

// The four-block refill with each block's rows in registers. The 4 / BLOCKS row sets are
// independent: interleaving them hides each instruction's latency.
template <class R>
void refill_rows(const ChaChaKey& key, std::uint64_t counter, const ChaChaStream& stream,
                 ChaChaBuffer& out) {
    using row = typename R::word;
    constexpr int sets = 4 / R::BLOCKS;
    const row constants = R::constant_row();
    const row key_low = R::key_row(key.data());
    const row key_high = R::key_row(key.data() + 4);
    row input_d[sets];
    Rows<R> x[sets];
    for (int j = 0; j < sets; ++j) {
        input_d[j] = R::counter_row(counter + static_cast<std::uint64_t>(R::BLOCKS * j), stream);
        x[j] = Rows<R>{constants, key_low, key_high, input_d[j]};
    }
    for (int double_round = 0; double_round < CHACHA_DOUBLE_ROUNDS; ++double_round) {
        for (Rows<R>& r : x) {
            column_round(r);
        }
        for (Rows<R>& r : x) {
            diagonalise(r);
        }
        for (Rows<R>& r : x) {
            column_round(r);
        }
        for (Rows<R>& r : x) {
            undiagonalise(r);
        }
    }
    for (int j = 0; j < sets; ++j) {
        R::store(out.data() + 16 * R::BLOCKS * j, R::add(x[j].a, constants),
                 R::add(x[j].b, key_low), R::add(x[j].c, key_high), R::add(x[j].d, input_d[j]));
    }
}

} // namespace velmora::chacha
