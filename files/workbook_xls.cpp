// Compound-document workbooks (BIFF) through freexl: the first worksheet.
#include <freexl.h>

#include <charconv>
#include <cstdint>
#include <string>

#include "files/sheet_text.h"
#include "files/workbook.h"

bool XlsToText(const std::filesystem::path& path, std::string* text) {
  text->clear();
  const void* handle = nullptr;
  if (freexl_open(path.c_str(), &handle) != FREEXL_OK) {
    if (handle) freexl_close(handle);
    return false;
  }
  unsigned int rows = 0;
  unsigned short columns = 0;
  bool ok = freexl_select_active_worksheet(handle, 0) == FREEXL_OK &&
            freexl_worksheet_dimensions(handle, &rows, &columns) == FREEXL_OK;
  if (ok) {
    std::string cellText;
    char number[kPlainNumberRoom];
    auto forEach = [&](auto&& visit) {
      for (unsigned int r = 0; r < rows; ++r) {
        for (unsigned short c = 0; c < columns; ++c) {
          FreeXL_CellValue cell;
          if (freexl_get_cell_value(handle, r, c, &cell) != FREEXL_OK) return false;
          std::string_view t;
          switch (cell.type) {
            case FREEXL_CELL_INT: {
              const auto res = std::to_chars(number, number + sizeof number, cell.value.int_value);
              t = std::string_view(number, static_cast<std::size_t>(res.ptr - number));
              break;
            }
            case FREEXL_CELL_DOUBLE:
              t = PlainNumber(cell.value.double_value, number);
              break;
            case FREEXL_CELL_TEXT:
            case FREEXL_CELL_SST_TEXT:
            case FREEXL_CELL_DATE:
            case FREEXL_CELL_DATETIME:
            case FREEXL_CELL_TIME:
              cellText.clear();
              if (cell.value.text_value) AppendUtf8As8Bit(cell.value.text_value, &cellText);
              t = cellText;
              break;
            default:
              break;
          }
          if (!visit(r, c, t)) return false;
        }
      }
      return true;
    };
    ok = BuildSheetText(forEach, text);
  }
  freexl_close(handle);
  return ok;
}
