// The command table: 89 rows by 7 protocol columns of 16-bit wire codes.
//
// Every row either carries the same code in every column, or lacks the command (0xFFFF) up
// to some column and carries one code from there on; so each row is given here as its code
// and the first column that has it, and the full table is laid out from that at compile time.
#include <array>

#include "instrument/wire.h"

namespace wire {
namespace {

struct RowDef {
  uint16_t code;
  int firstColumn;  // kProtocolColumns: no column has the row
};

constexpr RowDef kNone{kNoCode, kProtocolColumns};

constexpr std::array<RowDef, kCommandRows> kRows = {{
    {0x0002, 0}, {0x0003, 0}, {0x0004, 0}, {0x0005, 0}, {0x0006, 0},  // 0..4
    {0x0007, 0}, {0x0008, 0}, {0x0009, 0}, {0x0010, 1}, {0x0011, 1},  // 5..9
    {0x1001, 0}, {0x1002, 0}, {0x1003, 0}, {0x1004, 0}, {0x1005, 1},  // 10..14
    {0x2001, 0}, {0x2002, 0}, {0x2003, 0}, {0x2004, 0},               // 15..18
    {0x2010, 0}, {0x2011, 0}, {0x2012, 0},                            // 19..21
    {0x3001, 0}, {0x3002, 0}, {0x3003, 0}, {0x3004, 0},               // 22..25
    {0x3005, 0}, {0x3006, 0}, {0x3007, 0}, {0x3008, 0},               // 26..29
    {0x3010, 0}, {0x3011, 0}, {0x3012, 0}, {0x3013, 0},               // 30..33
    {0x4000, 0}, {0x4001, 0}, {0x4002, 0}, {0x4003, 0},               // 34..37
    {0x4010, 0}, {0x4011, 0}, {0x4012, 0}, {0x4013, 0}, {0x4014, 0},  // 38..42
    {0x5000, 2}, {0x3009, 2},                                         // 43..44
    {0x5001, 3}, {0x5002, 3}, {0x5003, 3}, {0x5004, 3}, {0x5005, 3},  // 45..49
    {0x5006, 3}, {0x1007, 3}, {0x1006, 3},                            // 50..52
    {0x6000, 4}, {0x6001, 4}, {0x1008, 4}, {0x5010, 4}, {0x0013, 4},  // 53..57
    {0x0014, 4}, kNone, kNone,                                        // 58..60
    {0x0017, 6}, {0x0018, 6}, {0x0019, 6},                            // 61..63
    {0x0020, 6}, {0x0021, 6}, {0x0022, 6}, {0x0023, 6}, {0x0024, 6},  // 64..68
    {0x0025, 6}, {0x9000, 6}, {0x9001, 6}, {0x6010, 6}, {0x6011, 6},  // 69..73
    {0x9002, 6}, {0x9003, 6}, {0x9004, 6},                            // 74..76
    {0x4015, 6}, {0x4016, 6}, {0x4017, 6},                            // 77..79
    {0x5007, 6}, {0x1008, 6}, {0x6020, 6}, {0x6021, 6}, {0x5011, 3},  // 80..84
    {0x9005, 6}, {0x9006, 6}, {0x9007, 6}, {0x9100, 6},               // 85..88
}};

using Table = std::array<std::array<uint16_t, kProtocolColumns>, kCommandRows>;

constexpr Table BuildTable() {
  Table t{};
  for (int r = 0; r < kCommandRows; ++r)
    for (int c = 0; c < kProtocolColumns; ++c)
      t[r][c] = c >= kRows[r].firstColumn ? kRows[r].code : kNoCode;
  return t;
}

constexpr Table kTable = BuildTable();

static_assert(kTable[kRowGetStatus][0] == 0x1003);
static_assert(kTable[kRowStartFlickerCapture][3] == kNoCode && kTable[kRowStartFlickerCapture][4] == 0x6000);
static_assert(kTable[kRowReadGains][3] == kNoCode && kTable[kRowReadGains][4] == 0x0014);
static_assert(kTable[59][6] == kNoCode && kTable[60][0] == kNoCode);
static_assert(kTable[55][4] == 0x1008 && kTable[kRowFourAnglePrepare1][5] == kNoCode);

}  // namespace

uint16_t CommandCode(int row, int column) {
  if (row < 0 || row >= kCommandRows || column < 0 || column >= kProtocolColumns) return kNoCode;
  return kTable[row][column];
}

}  // namespace wire
