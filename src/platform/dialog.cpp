#include "platform/dialog.h"

#include <map>

namespace gc6890 {
namespace {

std::map<UINT, DialogTemplate>& templates()
{
    static std::map<UINT, DialogTemplate> all;
    return all;
}

}  // namespace

void addDialogTemplate(UINT templateId, const DialogTemplate& dialogTemplate)
{
    templates()[templateId] = dialogTemplate;
}

}  // namespace gc6890

BOOL CDialog::Create(UINT templateId, CWnd* parent)
{
    m_templateId = templateId;
    if (parent)
        m_parent = parent;
    gc6890::DialogTemplate shape;
    if (const auto found = gc6890::templates().find(templateId); found != gc6890::templates().end())
        shape = found->second;
    return CreateEx(0, gc6890::dialogClassName, "", shape.style & ~WS_VISIBLE, 0, 0, shape.width,
                    shape.height, m_parent ? m_parent->GetSafeHwnd() : nullptr, nullptr);
}
