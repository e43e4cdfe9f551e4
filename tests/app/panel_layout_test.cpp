// The panel built at start-up: every control in order, with its kind, label,
// id, live variable and whether the user can use it right after start.
#include <cstdint>
#include <string>
#include <vector>

#include "app/texts.h"
#include "support.h"

namespace {

using K = ControlKind;

struct Row {
  K kind;
  std::string label;
  int id;
  const void* live;  // expected live variable (null: none)
  bool usable;       // enabled right after start-up
};

bool usable(const Control& c) {
  if (!c.enabled) return false;
  return c.kind != K::RadioButton || c.parent->enabled;
}

using LayoutTest = PanelTest;

TEST_F(LayoutTest, EveryControlInOrderWithLabelIdLiveVariableAndStartState) {
  AppState& s = app;
  ViewOptions& o = *s.view_options;
  MeshSlot& m1 = slot(0);
  MeshSlot& m2 = slot(1);
  SlotAppearance& l1 = s.appearance[0];
  SlotAppearance& l2 = s.appearance[1];
  std::vector<Row> expected = {
      {K::Panel, "Cargar Ficheros", -1, nullptr, true},
      {K::Button, " Malla 1 ", 0, nullptr, true},
      {K::Column, "", -1, nullptr, true},
      {K::Button, " Malla 2 ", 1, nullptr, false},
      {K::Panel, "Vistas", -1, nullptr, true},
      {K::RadioGroup, "", 0, &o.views_mode, true},
      {K::RadioButton, "Superpuestas", -1, nullptr, false},
      {K::RadioButton, "Separadas", -1, nullptr, false},
      {K::Column, "", -1, nullptr, true},
      {K::Checkbox, "Mover malla2", -1, &o.move_mesh2, false},
      {K::Button, "Centrar", 0, nullptr, true},
      {K::Button, "Cargar Ensayo", 0, nullptr, true},
      {K::Panel, "", -1, nullptr, true},
      {K::Panel, "", -1, nullptr, true},
      {K::Panel, "Apariencia Malla1", -1, nullptr, false},
      {K::Checkbox, "Brillo", -1, &l1.brightness, false},
      {K::Checkbox, "Luz", 0, &l1.lighting, false},
      {K::Checkbox, "Ver ambas caras", -1, &l1.two_sided, false},
      {K::Checkbox, "Ver mallado", -1, &l1.wireframe, false},
      {K::RadioGroup, "", -1, &m1.color_mode, false},
      {K::RadioButton, "Color blanco", -1, nullptr, false},
      {K::RadioButton, "Color real", -1, nullptr, false},
      {K::RadioButton, "Color Significativo", -1, nullptr, false},
      {K::FloatSlider, "tolerancia", -1, &m1.color_tolerance, false},
      {K::Panel, "Apariencia Malla2", -1, nullptr, false},
      {K::Checkbox, "Brillo", -1, &l2.brightness, false},
      {K::Checkbox, "Luz", 1, &l2.lighting, false},
      {K::Checkbox, "Ver ambas caras", -1, &l2.two_sided, false},
      {K::Checkbox, "Ver mallado", -1, &l2.wireframe, false},
      {K::RadioGroup, "", -1, &m2.color_mode, false},
      {K::RadioButton, "Color blanco", -1, nullptr, false},
      {K::RadioButton, "Color real", -1, nullptr, false},
      {K::RadioButton, "Color Significativo", -1, nullptr, false},
      {K::FloatSlider, "tolerancia", -1, &m2.color_tolerance, false},
      {K::Panel, "Geometria", -1, nullptr, false},
      {K::Checkbox, "Crestas", -1, &o.show_ridges, false},
      {K::Checkbox, "Valles", -1, &o.show_valleys, false},
      {K::Column, "", -1, nullptr, false},
      {K::FloatSlider, "Umbral", 0, &o.ridge_threshold, false},
      {K::Panel, "ICP", -1, nullptr, true},
      {K::Button, "Prealinear", 0, nullptr, false},
      {K::Panel, "", -1, nullptr, true},  // the prealignment's outcome, hidden until one ran
      {K::Button, "Deshacer", 0, nullptr, false},
      {K::Button, "ICP", 1, nullptr, false},
      {K::Button, "ICP_Color", 2, nullptr, false},
      {K::Button, "Aleatorio", 3, nullptr, false},
      {K::Checkbox, "Paralelo", -1, &s.parallel_batch, true},
      {K::Button, "Cancelar", 0, nullptr, false},
      {K::RadioGroup, "", 0, &s.shown_pose, true},
      {K::RadioButton, "INICIAL", -1, nullptr, false},
      {K::RadioButton, "ICP", -1, nullptr, false},
      {K::RadioButton, "ICP_COLOR", -1, nullptr, false},
      {K::Separator, "", -1, nullptr, true},
      {K::Button, "Reset", 0, nullptr, false},
      {K::Button, "Grabar", 0, nullptr, false},
      {K::Button, "SALIR", 0, nullptr, true},
  };
  std::vector<Control*> all = panel.all_controls();
  ASSERT_EQ(all.size(), expected.size());
  for (size_t i = 0; i < all.size(); ++i) {
    const Control& c = *all[i];
    const Row& e = expected[i];
    SCOPED_TRACE("control #" + std::to_string(i + 1) + " \"" + e.label + "\"");
    EXPECT_EQ(c.kind, e.kind);
    EXPECT_EQ(c.label, e.label);
    EXPECT_EQ(c.id, e.id);
    const void* live = c.live_int ? static_cast<const void*>(c.live_int)
                                  : static_cast<const void*>(c.live_float);
    EXPECT_EQ(live, e.live);
    EXPECT_EQ(usable(c), e.usable);
  }
}

TEST_F(LayoutTest, ContainmentAndBorders) {
  // The load buttons sit side by side: a column between them in one panel.
  EXPECT_EQ(h().load_mesh[0]->parent, h().load_mesh[1]->parent);
  EXPECT_EQ(h().load_mesh[0]->parent->kind, K::Panel);
  // The view radio group and "Mover malla2" are split by a column with a bar.
  const Control& vistas = *h().views->parent;
  ASSERT_EQ(vistas.children.size(), 4u);
  EXPECT_EQ(vistas.children[1]->kind, K::Column);
  EXPECT_TRUE(vistas.children[1]->bar);
  EXPECT_FALSE(h().load_mesh[0]->parent->children[1]->bar);
  // Both appearance panels hang in two nested borderless panels.
  const Control* inner = h().appearance[0]->parent;
  EXPECT_EQ(inner, h().appearance[1]->parent);
  EXPECT_FALSE(inner->bordered);
  EXPECT_FALSE(inner->parent->bordered);
  EXPECT_TRUE(h().appearance[0]->bordered);
  // The radio values follow the order of creation.
  EXPECT_EQ(h().color_significant[1]->value, 2);
  EXPECT_EQ(h().pose_color_icp->value, 2);
  EXPECT_EQ(h().split->value, 1);
}

// Every text of the program is Windows-1252; the panel shows UTF-8.
TEST(Texts, Cp1252BecomesUtf8) {
  EXPECT_EQ(cp1252_to_utf8("Geometria"), "Geometria");
  EXPECT_EQ(cp1252_to_utf8("\xBF" "Desea"), "\xC2\xBF" "Desea");  // U+00BF
  EXPECT_EQ(cp1252_to_utf8("Alineaci\xF3n"), "Alineaci\xC3\xB3n");  // U+00F3
  EXPECT_EQ(cp1252_to_utf8("\x80"), "\xE2\x82\xAC");                 // euro sign U+20AC
  EXPECT_EQ(cp1252_to_utf8("\x81"), "\xEF\xBF\xBD");                 // undefined: U+FFFD
  EXPECT_EQ(cp1252_to_utf8(std::string("a\0b", 3)), std::string("a\0b", 3));
  // A question converts only its own words: an accented UTF-8 path stays.
  EXPECT_EQ(question_utf8({"fichero: ", "/d/canci\xC3\xB3n.ply", "\n\xBF" "Desea?"}),
            "fichero: /d/canci\xC3\xB3n.ply\n\xC2\xBF" "Desea?");
}

}  // namespace
