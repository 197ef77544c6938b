// A window's character set.
#include "model/window_charset.h"

#include "core/encodings.h"
#include "core/text_buffer.h"
#include "model/window_record.h"

int win_codepage(WindowRecord* rec)
{
    if (!win_is_record(rec))
        return -1;
    if (rec->text_area.get() || lang_setting_multibyte)
        return charset_codepage_of(rec->font_charset);
    return 0;
}

bool win_font_charset(WindowRecord* rec, int* charset, int* encoding)
{
    if (!win_is_record(rec))
        return false;
    if (charset)
        *charset = rec->font_charset;
    if (encoding)
        *encoding = rec->font_encoding;
    return true;
}

bool win_any_sjis()
{
    for (WindowRecord* r = win_list; r; r = r->next)
        if (r->font_charset == 128)
            return true;
    return false;
}
