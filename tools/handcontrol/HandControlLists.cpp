#include "HandControlLists.h"

#include <QComboBox>

#include <array>
#include <initializer_list>

namespace hclists {

namespace {

// The Greek symbols after "Z": the name in the list and the letter.
struct Greek {
    const char* name;
    const char* letter;
};
constexpr std::array<Greek, 19> kGreek{{
    {"alpha", "α"},  {"beta", "β"},  {"delta", "δ"},  {"epsilon", "ε"}, {"theta", "θ"},
    {"lambda", "λ"}, {"my", "μ"},    {"pi", "π"},     {"tau", "τ"},     {"Gamma", "Γ"},
    {"Delta", "Δ"},  {"Theta", "Θ"}, {"Lambda", "Λ"}, {"Xi", "Ξ"},      {"Sigma", "Σ"},
    {"Tau", "Τ"},    {"Phi", "Φ"},   {"Psi", "Ψ"},    {"Omega", "Ω"},
}};
constexpr int kDigits = 10;
constexpr int kLetters = 26;
constexpr int kFirstGreek = kDigits + 2 * kLetters;

QStringList numbers(std::initializer_list<int> values) {
    QStringList items;
    for (int value : values) items << QString::number(value);
    return items;
}

QStringList countFrom1(int count) {
    QStringList items;
    for (int n = 1; n <= count; ++n) items << QString::number(n);
    return items;
}

}  // namespace

QStringList holdTimes() { return {"0s", "1s", "2s", "5s", "10s", "20s", "30s", "40s", "inf"}; }

QStringList symbols() {
    QStringList items;
    for (int index = 0; index < kFirstGreek; ++index) items << symbolGlyph(index);
    for (const Greek& greek : kGreek) items << QString::fromLatin1(greek.name);
    return items;
}

QString symbolGlyph(int index) {
    if (index < 0) return {};
    if (index < kDigits) return QString(QChar('0' + index));
    if (index < kDigits + kLetters) return QString(QChar('a' + index - kDigits));
    if (index < kFirstGreek) return QString(QChar('A' + index - kDigits - kLetters));
    if (index < kFirstGreek + static_cast<int>(kGreek.size()))
        return QString::fromUtf8(kGreek[static_cast<size_t>(index - kFirstGreek)].letter);
    return {};
}

QStringList controlModes() { return {"Simple", "Advanced", "Scan", "Closed-Loop"}; }

QStringList steps() {
    return numbers({1,    2,    3,    4,    5,    6,    8,    10,   12,   14,   16,
                    18,   20,   25,   30,   35,   40,   45,   50,   60,   70,   80,
                    90,   100,  120,  140,  160,  180,  200,  250,  300,  350,  400,
                    450,  500,  600,  700,  800,  900,  1000, 1200, 1400, 1600, 1800,
                    2000, 2500, 3000, 3500, 4000, 5000, 6000, 7000, 8000, 9000});
}

QStringList amplitudes() {
    QStringList items;
    for (int amplitude = 100; amplitude <= 4000; amplitude += 100)
        items << QString::number(amplitude);
    return items << QStringLiteral("4095");
}

QStringList frequencies() {
    return numbers({5,     10,    15,    20,    25,    30,    40,    50,    60,   70,   80,
                    90,    100,   120,   140,   160,   180,   200,   250,   300,  350,  400,
                    450,   500,   600,   700,   800,   900,   1000,  1200,  1400, 1600, 1800,
                    2000,  2500,  3000,  3500,  4000,  4500,  5000,  6000,  7000, 8000, 9000,
                    10000, 12000, 14000, 16000, 16500, 17000, 17500, 18000, 18500});
}

QStringList voltageIncrements() { return numbers({1, 2, 5, 10, 20, 50, 100, 200, 500, 1000}); }

QStringList closedLoopIncrements() {
    QStringList items;
    for (const char* item :
         {"1 [nm | µ°]",   "2 [nm | µ°]",   "5 [nm | µ°]",   "10 [nm | µ°]",  "20 [nm | µ°]",
          "50 [nm | µ°]",  "100 [nm | µ°]", "200 [nm | µ°]", "500 [nm | µ°]", "1 [µm | m°]",
          "2 [µm | m°]",   "5 [µm | m°]",   "10 [µm | m°]",  "20 [µm | m°]",  "50 [µm | m°]",
          "100 [µm | m°]", "200 [µm | m°]", "500 [µm | m°]", "1 [mm | °]",    "2 [mm | °]",
          "5 [mm | °]",    "15 [°]",        "45 [°]",        "90 [°]"})
        items << QString::fromUtf8(item);
    return items;
}

QStringList ndSlots() { return {"Slot 0", "Slot 1", "Slot 2"}; }
QStringList knobs() { return countFrom1(5); }
QStringList joysticks() { return {"X1", "Y1", "X2", "Y2", "none"}; }
QStringList referenceOrders() { return {"1", "2", "3", "none"}; }
QStringList ports() { return countFrom1(36); }
QStringList speedLevels() { return countFrom1(17); }

void setItems(QComboBox* box, const QStringList& items) {
    box->clear();
    box->addItems(items);
}

}  // namespace hclists
