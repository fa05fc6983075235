#include "DialogTemplate.h"

namespace {

class Reader {
public:
    explicit Reader(const BYTE* at) : at_(at) {}
    WORD Word() { WORD value; memcpy(&value, at_, 2); at_ += 2; return value; }
    DWORD Dword() { DWORD value; memcpy(&value, at_, 4); at_ += 4; return value; }
    BYTE Byte() { return *at_++; }
    void AlignDword(const BYTE* base) { while ((at_ - base) % 4) ++at_; }
    void Skip(size_t bytes) { at_ += bytes; }

    std::string String()
    {
        std::wstring wide;
        for (WORD ch; (ch = Word()) != 0;)
            wide += static_cast<wchar_t>(ch);
        std::string text(wide.size() * 2 + 1, '\0');
        int length = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), &text[0],
                                         static_cast<int>(text.size()), nullptr, nullptr);
        text.resize(length > 0 ? length : 0);
        return text;
    }
    // A string, or 0xFFFF and an ordinal (returned as "#n", or the predefined class name).
    std::string StringOrOrdinal(bool isClass)
    {
        WORD first;
        memcpy(&first, at_, 2);
        if (first != 0xFFFF)
            return String();
        Word();
        WORD ordinal = Word();
        if (isClass) {
            switch (ordinal) {
            case 0x80: return "Button";
            case 0x81: return "Edit";
            case 0x82: return "Static";
            }
        }
        return "#" + std::to_string(ordinal);
    }

private:
    const BYTE* at_;
};

RECT ReadRect(Reader& reader)
{
    RECT rect;
    rect.left = static_cast<SHORT>(reader.Word());
    rect.top = static_cast<SHORT>(reader.Word());
    rect.right = static_cast<SHORT>(reader.Word());
    rect.bottom = static_cast<SHORT>(reader.Word());
    return rect;
}

}  // namespace

DialogTemplate ReadDialogTemplate(LANGID language, int id)
{
    DialogTemplate result;
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC resource = FindResourceExA(module, RT_DIALOG, MAKEINTRESOURCEA(id), language);
    if (!resource)
        return result;
    const BYTE* base = static_cast<const BYTE*>(LockResource(LoadResource(module, resource)));
    Reader reader(base);
    if (reader.Word() != 1 || reader.Word() != 0xFFFF)
        return result;
    reader.Dword();  // help id
    result.exStyle = reader.Dword();
    result.style = reader.Dword();
    WORD count = reader.Word();
    result.rect = ReadRect(reader);
    reader.StringOrOrdinal(false);  // menu
    reader.StringOrOrdinal(false);  // class
    result.title = reader.String();
    if (result.style & DS_SETFONT) {
        result.pointSize = reader.Word();
        result.weight = reader.Word();
        result.italic = reader.Byte();
        result.charset = reader.Byte();
        result.font = reader.String();
    }
    for (WORD i = 0; i < count; ++i) {
        reader.AlignDword(base);
        DialogItem item;
        item.helpId = reader.Dword();
        item.exStyle = reader.Dword();
        item.style = reader.Dword();
        item.rect = ReadRect(reader);
        item.id = reader.Dword();
        item.className = reader.StringOrOrdinal(true);
        item.text = reader.StringOrOrdinal(false);
        reader.Skip(reader.Word());
        result.items.push_back(item);
    }
    result.valid = true;
    return result;
}
