// The viewer of a build without chmlib: every display command fails with a description, so the
// bridge tells the user why no help appears instead of doing nothing.
#include "helpviewer.h"

#include <cstring>
#include <iterator>

namespace hg::help {

namespace {

class TNoHelpViewer final : public IHtmlHelpViewer {
public:
    HelpWindow HtmlHelpA(HelpWindow, const char*, unsigned command, std::uintptr_t data) override
    {
        if (command == HH_INITIALIZE && data) {
            *reinterpret_cast<std::uint32_t*>(data) = 1;
        } else if (command == HH_GET_LAST_ERROR && data) {
            auto* record = reinterpret_cast<HH_LAST_ERROR*>(data);
            if (record->cbStruct >= std::int32_t(sizeof(HH_LAST_ERROR))) {
                // "このシステムではヘルプを表示できません"
                static constexpr char16_t kText[] = u"\u3053\u306E\u30B7\u30B9\u30C6\u30E0\u3067\u306F\u30D8\u30EB"
                                                    u"\u30D7\u3092\u8868\u793A\u3067\u304D\u307E\u305B\u3093";
                record->hr = std::int32_t(0x80004001u); // E_NOTIMPL
                record->description = new HelpWideChar[std::size(kText)];
                std::memcpy(record->description, kText, sizeof kText);
            }
        }
        return 0;
    }
    HelpWindow GetDesktopWindow() override { return 0x10010; }
    void SysFreeString(HelpWideChar* text) override { delete[] text; }
};

} // namespace

std::unique_ptr<IHtmlHelpViewer> CreateHtmlHelpViewer() { return std::make_unique<TNoHelpViewer>(); }

} // namespace hg::help
