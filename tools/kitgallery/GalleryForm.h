#pragma once

#include <memory>
#include <string>
#include <vector>

#include "gui/framework/Form.h"
#include "gui/graphics/Bitmap.h"
#include "gui/util/LayeredWindow.h"

class GsCustomControl;
class GsLabel;
class GsImage;

namespace framework {
class BaseControl;
}

// One layered window with every control of the kit in each of its states, on the default skin.
// The window's picture is composed the way the main window composes its own: a background,
// then every control drawn into one 32-bit bitmap.
class TGalleryForm : public framework::Form {
public:
    static constexpr int kWidth = 920;
    static constexpr int kHeight = 660;

    TGalleryForm();
    ~TGalleryForm() override;

    // Every control drawn into a window-sized picture.
    void Compose(graphics::Bitmap& frame);
    // Composes and pushes the picture to the window.
    void Present();

protected:
    void DoCreate() override;

private:
    void PaintBackground();
    void Caption(int x, int y, const std::string& text, bool heading = false);
    void AddButtons(int top);
    void AddCheckBoxes(int top);
    void AddPanelLabelsAndImages(int top);
    void AddSliders(int top);

    template <typename T>
    T* Add(int left, int top);
    void OnRedrawRequest(framework::Component* sender);

    graphics::Bitmap m_Background;
    // Destroyed before the form's own destructor, which takes the input widgets with it.
    std::vector<std::unique_ptr<framework::BaseControl>> m_Controls;
    std::vector<GsCustomControl*> m_KitControls;
    std::vector<GsLabel*> m_Labels;
    std::vector<GsImage*> m_Images;
    gs::TPerPixelLayeredWindowMaker m_Layered;
    bool m_Composing = false;
};
