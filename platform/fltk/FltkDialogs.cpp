#include "platform/fltk/FltkDialogs.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Return_Button.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace platform {
namespace {

// The closest FLTK face to a Windows font name.
Fl_Font FontFor(const std::string& name) {
  if (name.find("Courier") != std::string::npos) return FL_COURIER;
  if (name.find("Times") != std::string::npos || name.find("Serif") == 0) return FL_TIMES;
  return FL_HELVETICA;  // "MS Sans Serif" and the other sans faces
}

bool OpenDisplay() {
  if (fl_display != nullptr) return true;
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') return false;
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return false;
  fl_open_display(display);
  return true;
}

class FltkBackend final : public IDialogs {
 public:
  bool ShowModal(const FormDesc& form, FormValues& values) override {
    if (!OpenDisplay()) return false;
    const Fl_Font font = FontFor(form.FontName);
    const Fl_Fontsize size = form.FontHeight < 0 ? -form.FontHeight : (form.FontHeight > 0 ? form.FontHeight : 11);
    const Fl_Color face = fl_rgb_color(static_cast<uchar>(form.Color >> 16), static_cast<uchar>(form.Color >> 8),
                                       static_cast<uchar>(form.Color));

    auto window = std::make_unique<Fl_Double_Window>(form.ClientWidth, form.ClientHeight);
    window->copy_label(form.Caption.c_str());
    window->color(face);
    window->labelfont(font);
    window->labelsize(size);
    bool ok = false;
    window->callback([](Fl_Widget* w, void*) { w->hide(); });  // Esc or close: cancel

    // Navigation follows child order, so tab stops come first in tab order.
    std::vector<const ControlDesc*> order;
    for (const ControlDesc& c : form.Controls) order.push_back(&c);
    std::stable_sort(order.begin(), order.end(), [](const ControlDesc* a, const ControlDesc* b) {
      const int ka = a->TabOrder < 0 ? 1 << 20 : a->TabOrder;
      const int kb = b->TabOrder < 0 ? 1 << 20 : b->TabOrder;
      return ka < kb;
    });
    std::map<std::string, Fl_Input*> edits;
    std::map<std::string, Fl_Check_Button*> checks;
    struct Close {
      bool* Ok;
      Fl_Window* Window;
      bool Value;
    };
    std::vector<std::unique_ptr<Close>> closers;
    fl_font(font, size);
    for (const ControlDesc* c : order) {
      Fl_Widget* widget = nullptr;
      switch (c->Kind) {
        case ControlKind::Label: {
          const int w = c->Width > 0 ? c->Width : std::max(1, static_cast<int>(fl_width(c->Caption.c_str())) + 2);
          const int h = c->Height > 0 ? c->Height : size + 2;
          widget = new Fl_Box(c->Left, c->Top, w, h);
          widget->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
          break;
        }
        case ControlKind::Edit: {
          auto* input = new Fl_Input(c->Left, c->Top, c->Width, c->Height);
          const std::string& text = values.Texts[c->Name];
          input->value(text.data(), static_cast<int>(text.size()));
          input->textfont(font);
          input->textsize(size);
          edits[c->Name] = input;
          widget = input;
          break;
        }
        case ControlKind::CheckBox: {
          auto* check = new Fl_Check_Button(c->Left, c->Top, c->Width, c->Height);
          check->value(values.Checked[c->Name] ? 1 : 0);
          check->color(face);
          checks[c->Name] = check;
          widget = check;
          break;
        }
        case ControlKind::Bevel:
          widget = new Fl_Box(FL_ENGRAVED_FRAME, c->Left, c->Top, c->Width, c->Height > 0 ? c->Height : 2, nullptr);
          break;
        case ControlKind::OkButton:
        case ControlKind::CancelButton: {
          Fl_Button* button = c->Default ? new Fl_Return_Button(c->Left, c->Top, c->Width, c->Height)
                                         : new Fl_Button(c->Left, c->Top, c->Width, c->Height);
          if (c->Cancel) button->shortcut(FL_Escape);
          button->color(face);
          closers.push_back(std::make_unique<Close>(Close{&ok, window.get(), c->Kind == ControlKind::OkButton}));
          button->callback(
              [](Fl_Widget*, void* data) {
                auto* close = static_cast<Close*>(data);
                *close->Ok = close->Value;
                close->Window->hide();
              },
              closers.back().get());
          widget = button;
          break;
        }
      }
      if (c->Kind != ControlKind::Bevel) widget->copy_label(c->Caption.empty() ? nullptr : c->Caption.c_str());
      widget->labelfont(font);
      widget->labelsize(size);
      if (!c->Visible) widget->hide();
    }
    window->end();
    if (form.FixedBorder) window->size_range(form.ClientWidth, form.ClientHeight, form.ClientWidth, form.ClientHeight);
    if (form.Centered)
      window->position((Fl::w() - form.ClientWidth) / 2, (Fl::h() - form.ClientHeight) / 2);
    window->set_modal();
    window->show();
    while (window->shown()) Fl::wait();
    if (ok) {
      for (const auto& [name, input] : edits) values.Texts[name] = std::string(input->value(), input->size());
      for (const auto& [name, check] : checks) values.Checked[name] = check->value() != 0;
    }
    window.reset();
    Fl::flush();
    return ok;
  }

  bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) override {
    return RunInputQuery(*this, caption, prompt, value);
  }
};

// Registers the window backend as the program's default at start-up.
[[maybe_unused]] const bool registered = (SetDefaultDialogs(&FltkDialogs()), true);

}  // namespace

IDialogs& FltkDialogs() {
  static FltkBackend backend;
  return backend;
}

}  // namespace platform
