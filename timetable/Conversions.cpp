#include "timetable/Conversions.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace {

// A Korean input method in full-width mode types "１２": read the
// full-width forms (and the ideographic space) as their ASCII originals,
// which is what compatibility normalisation does for this block.
QChar halfWidth(QChar c)
{
    if (c.unicode() >= 0xFF01 && c.unicode() <= 0xFF5E)
        return QChar(static_cast<char16_t>(c.unicode() - 0xFEE0));
    if (c.unicode() == 0x3000)
        return QLatin1Char(' ');
    return c;
}

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Walks the text as if its blanks were not there.
class Reader
{
public:
    explicit Reader(QStringView text) : m_text(text) { skipBlanks(); }

    bool atEnd() const { return m_pos >= m_text.size(); }
    QChar peek() const { return atEnd() ? QChar() : halfWidth(m_text[m_pos]); }
    void advance()
    {
        ++m_pos;
        skipBlanks();
    }

private:
    void skipBlanks()
    {
        while (!atEnd() && isBlank(halfWidth(m_text[m_pos])))
            ++m_pos;
    }

    QStringView m_text;
    qsizetype m_pos = 0;
};

// A double is exact to 17 significant digits, but a tie such as
// 2.5000...0001 is only decided by its last digit. Beyond this many fraction
// digits we keep one "sticky" 1 standing for everything dropped, which keeps
// the rounding of the parse exact and the work bounded for pasted walls of digits.
constexpr int kMaxFractionDigits = 800;
constexpr int kMaxIntegerDigits = std::numeric_limits<double>::max_exponent10 + 1;

} // namespace

double TextValue(QStringView text)
{
    Reader in(text);
    bool negative = false;
    if (in.peek() == u'+' || in.peek() == u'-') {
        negative = in.peek() == u'-';
        in.advance();
    }

    std::string number;
    bool sawDigit = false;
    while (isDigit(in.peek())) {
        sawDigit = true;
        if (!(number.empty() && in.peek() == u'0'))
            number.push_back(static_cast<char>(in.peek().unicode()));
        if (static_cast<int>(number.size()) > kMaxIntegerDigits)
            return negative ? -std::numeric_limits<double>::infinity()
                            : std::numeric_limits<double>::infinity();
        in.advance();
    }
    const bool integerIsZero = number.empty();
    if (number.empty())
        number.push_back('0');

    if (in.peek() == u'.') {
        in.advance();
        number.push_back('.');
        int kept = 0;
        bool droppedNonZero = false;
        while (isDigit(in.peek())) {
            sawDigit = true;
            if (kept < kMaxFractionDigits) {
                number.push_back(static_cast<char>(in.peek().unicode()));
                ++kept;
            } else if (in.peek() != u'0') {
                droppedNonZero = true;
            }
            in.advance();
        }
        if (droppedNonZero)
            number.push_back('1');
    }
    if (!sawDigit)
        return 0.0;

    double value = 0.0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    (void)end;
    if (ec == std::errc::result_out_of_range)
        value = integerIsZero ? 0.0 : std::numeric_limits<double>::infinity();
    return negative ? -value : value;
}

double RoundHalfEven(double x)
{
    if (!std::isfinite(x))
        return x;
    const double down = std::floor(x);
    const double rest = x - down;
    if (rest > 0.5 || (rest == 0.5 && std::fmod(down, 2.0) != 0.0))
        return down + 1.0;
    return down;
}

std::optional<std::uint8_t> ToByte(double x)
{
    const double r = RoundHalfEven(x);
    if (!(r >= 0.0 && r <= 255.0))
        return std::nullopt;
    return static_cast<std::uint8_t>(r);
}
