#pragma once
// Small value types of the instrument widgets: enumeration sets, rectangles, events.
#include <QRect>
#include <QtGlobal>
#include <functional>
#include <initializer_list>

class QObject;

// A set of enumeration values, one bit per value (enumerations of at most 32 values).
template <class E> class TSet {
public:
    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> values) {
        for (E v : values)
            FBits |= Bit(v);
    }
    constexpr bool Contains(E v) const { return (FBits & Bit(v)) != 0; }
    constexpr void Include(E v) { FBits |= Bit(v); }
    constexpr void Exclude(E v) { FBits &= ~Bit(v); }
    constexpr bool operator==(const TSet&) const = default;

private:
    static constexpr quint32 Bit(E v) { return quint32(1) << int(v); }
    quint32 FBits = 0;
};

// A rectangle as the drawing code reasons about it: Right and Bottom are exclusive.
struct TRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    QRect ToQRect() const { return QRect(Left, Top, Width(), Height()); }
    static TRect FromQRect(const QRect& r) {
        return {r.left(), r.top(), r.right() + 1, r.bottom() + 1};
    }
    TRect Shrunk(int d) const { return {Left + d, Top + d, Right - d, Bottom - d}; }
};

// A notify event: empty when unassigned, called with the sender first.
using TNotifyEvent = std::function<void(QObject* Sender)>;
