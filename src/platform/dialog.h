// CDialog, modeless and invisible: Create() makes a window of the dialog class from a
// dialog template. There are no controls and nothing is drawn; a template gives only the
// style and size, which are kept to be read back.
#pragma once

#include "platform/wnd.h"

class CDialog : public CWnd {
public:
    CDialog() = default;
    explicit CDialog(UINT templateId, CWnd* parent = nullptr)
        : m_templateId(templateId), m_parent(parent)
    {}

    // Creates the window from the template (see gc6890::addDialogTemplate). A template that
    // was never added gives a plain invisible pop-up (the module's resources are the
    // library's own business, not the platform's). FALSE when the window exists already.
    virtual BOOL Create(UINT templateId, CWnd* parent = nullptr);

    UINT GetTemplateId() const { return m_templateId; }

private:
    UINT m_templateId = 0;
    CWnd* m_parent = nullptr;
};

namespace gc6890 {

// What a dialog template says about the window itself (sizes in dialog units).
struct DialogTemplate {
    DWORD style = WS_POPUP;
    int width = 0;
    int height = 0;
    const char* font = "";
    int pointSize = 0;
};

// The class name of dialog windows.
inline constexpr const char* dialogClassName = "#32770";

// Makes a template known under its resource identifier (a later one replaces it).
void addDialogTemplate(UINT templateId, const DialogTemplate& dialogTemplate);

}  // namespace gc6890
