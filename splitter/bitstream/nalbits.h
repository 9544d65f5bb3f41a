// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// The bits of an H.264 or HEVC NAL unit: its payload without emulation prevention bytes, read and written
// field by field (fixed widths and Exp-Golomb codes).
namespace quorvane::splitter {

using Bytes = std::vector<std::uint8_t>;

inline Bytes unescape(const Bytes& unit)
{
    Bytes out;
    out.reserve(unit.size());
    int zeros = 0;
    for (const std::uint8_t b : unit) {
        if (zeros >= 2 && b == 3) {
            zeros = 0;
            continue;
        }
        out.push_back(b);
        zeros = b == 0 ? zeros + 1 : 0;
    }
    return out;
}

inline Bytes escape(const Bytes& payload)
{
    Bytes out;
    out.reserve(payload.size() + payload.size() / 64 + 1);
    int zeros = 0;
    for (const std::uint8_t b : payload) {
        if (zeros >= 2 && b <= 3) {
            out.push_back(3);
            zeros = 0;
        }
        out.push_back(b);
        zeros = b == 0 ? zeros + 1 : 0;
    }
    if (zeros > 0)
        out.push_back(3);
    return out;
}

class BitReader {
public:
    explicit BitReader(const Bytes& data, std::size_t bit = 0)
        : m_data(data)
        , m_bit(bit)
    {
    }
    std::size_t left() const { return m_bit <= m_data.size() * 8 ? m_data.size() * 8 - m_bit : 0; }
    std::size_t position() const { return m_bit; }
    std::optional<unsigned> u(int count)
    {
        if (static_cast<std::size_t>(count) > left())
            return std::nullopt;
        unsigned value = 0;
        for (int i = 0; i < count; ++i, ++m_bit)
            value = value << 1 | (static_cast<unsigned>(m_data[m_bit / 8] >> (7 - m_bit % 8)) & 1u);
        return value;
    }
    std::optional<unsigned> ue()
    {
        int zeros = 0;
        for (;;) {
            const auto bit = u(1);
            if (!bit || zeros > 31)
                return std::nullopt;
            if (*bit)
                break;
            ++zeros;
        }
        const auto rest = u(zeros);
        if (!rest)
            return std::nullopt;
        return static_cast<unsigned>((std::uint64_t { 1 } << zeros) - 1 + *rest);
    }
    std::optional<int> se()
    {
        const auto code = ue();
        if (!code)
            return std::nullopt;
        const auto half = static_cast<int>((std::uint64_t { *code } + 1) / 2);
        return *code % 2 ? half : -half;
    }

private:
    const Bytes& m_data;
    std::size_t m_bit = 0;
};

class BitWriter {
public:
    void u(unsigned value, int count)
    {
        for (int i = count - 1; i >= 0; --i)
            bit((value >> i) & 1u);
    }
    void ue(unsigned value)
    {
        const std::uint64_t coded = std::uint64_t { value } + 1;
        int length = 0;
        while ((coded >> length) > 1)
            ++length;
        u(0, length);
        for (int i = length; i >= 0; --i)
            bit(static_cast<unsigned>((coded >> i) & 1u));
    }
    void se(int value)
    {
        const auto magnitude = static_cast<unsigned>(value < 0 ? -static_cast<std::int64_t>(value) : value);
        ue(value > 0 ? 2 * magnitude - 1 : 2 * magnitude);
    }
    bool copy(BitReader& from, std::size_t count)
    {
        for (std::size_t i = 0; i < count; ++i) {
            const auto b = from.u(1);
            if (!b)
                return false;
            bit(*b);
        }
        return true;
    }
    // The bits of `from` from `begin` up to `end`.
    bool copy(const Bytes& from, std::size_t begin, std::size_t end)
    {
        BitReader reader(from, begin);
        return end >= begin && copy(reader, end - begin);
    }
    // A payload's stop bit, then 0s to the byte.
    void stop()
    {
        bit(1);
        while (m_bits % 8 != 0)
            bit(0);
    }
    std::size_t bits() const { return m_bits; }
    Bytes take() { return std::move(m_out); }

private:
    void bit(unsigned b)
    {
        if (m_bits % 8 == 0)
            m_out.push_back(0);
        m_out.back() = static_cast<std::uint8_t>(m_out.back() | (b << (7 - m_bits % 8)));
        ++m_bits;
    }
    Bytes m_out;
    std::size_t m_bits = 0;
};

// Reads fields until the first that is not there; then every later one reads 0 and `ok` stays false. Given a
// writer, it copies there each field it reads, or another value in the field's place (replaceU, replaceUe).
class Fields {
public:
    explicit Fields(const Bytes& payload, std::size_t bit = 0)
        : m_bits(payload, bit)
    {
    }
    Fields(const Bytes& payload, BitWriter& copy)
        : m_bits(payload)
        , m_copy(&copy)
    {
    }
    unsigned u(int count)
    {
        const unsigned v = value(m_bits.u(count));
        copy(v, count);
        return v;
    }
    unsigned ue()
    {
        const unsigned v = value(m_bits.ue());
        copy(v, -1);
        return v;
    }
    int se()
    {
        const auto v = m_bits.se();
        m_ok = m_ok && v.has_value();
        if (m_copy && m_ok)
            m_copy->se(*v);
        return v.value_or(0);
    }
    // The field read; `instead` is copied in its place.
    unsigned replaceU(int count, unsigned instead)
    {
        const unsigned v = value(m_bits.u(count));
        copy(instead, count);
        return v;
    }
    unsigned replaceUe(unsigned instead)
    {
        const unsigned v = value(m_bits.ue());
        copy(instead, -1);
        return v;
    }
    bool ok() const { return m_ok; }
    std::size_t position() const { return m_bits.position(); }

private:
    unsigned value(std::optional<unsigned> v)
    {
        m_ok = m_ok && v.has_value();
        return v.value_or(0);
    }
    // A fixed-width field, or an Exp-Golomb code (`count` -1).
    void copy(unsigned v, int count)
    {
        if (!m_copy || !m_ok)
            return;
        if (count < 0)
            m_copy->ue(v);
        else
            m_copy->u(v, count);
    }
    BitReader m_bits;
    BitWriter* m_copy = nullptr;
    bool m_ok = true;
};

// The payload's bits before its stop bit (the last bit set).
inline std::optional<std::size_t> bitsBeforeStop(const Bytes& payload)
{
    for (std::size_t i = payload.size(); i-- > 0;) {
        if (payload[i] == 0)
            continue;
        int trailing = 0;
        while (!((payload[i] >> trailing) & 1))
            ++trailing;
        return i * 8 + static_cast<std::size_t>(7 - trailing);
    }
    return std::nullopt;
}

} // namespace quorvane::splitter
