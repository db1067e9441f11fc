#include "window/ui/controls.h"

#include <utility>

namespace ferolan {

namespace {

constexpr uint32_t kLightGrey = 0xC0C0C0;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kLightYellow = 0xFFFFC0;
constexpr uint32_t kLightOrange = 0xFFC080;
constexpr uint32_t kLightCyan = 0xC0FFFF;
constexpr uint32_t kDarkBlue = 0x000080;
constexpr uint32_t kBlue = 0x0000FF;
constexpr uint32_t kDarkRed = 0x800000;
constexpr uint32_t kNavy = 0x000080;

void def(Control& c, Ctl id, int index, Kind kind, const char* name, Rect pos,
         std::string text = {}, const Control* parent = nullptr) {
  c.id = id;
  c.index = index;
  c.kind = kind;
  c.name = name;
  c.pos = pos;
  c.text = std::move(text);
  c.parent = parent;
}

const char* const kHintCheck1 =
    "Якщо ви не хочете, щоб програма розраховувала це значення рКа, то зніміть відповідну "
    "галочку. Так ви заморозите його (не забудьте вказати значення рКа у відповідній "
    "клітинці!) ";
const char* const kHintCheck2 =
    "Обнулити рКа. Програма дозволяє розраховувати навіть п'ятиосновні кислоти. Якщо у вас "
    "кислота менш основна чи ви досліджуєте у вузькому діапазоні рН, то зайві рКа слід "
    "обнулити.";
const char* const kHintCheck3 =
    "Кожному спектру відповідає своє значення рН розчину. Власне тут і наведено значення рН. "
    "Якщо потрібно даний спектр вилучити з розрахунку, то просто зніміть відповідну галочку.";
const char* const kHintTxtPk =
    "Для методу оптимізації у цих клітинках слід задати початкові значення рКа. Для методів "
    "перебору - ці поля можна не заповнювати (хіба що ви хочете заморозити якесь рКа). Після "
    "завершення розрахунку в цих же клітинках буде результат - значення рКа.";
const char* const kHintCommand2 =
    "Запустити алгоритм оптимізації рКа. Не забудьте перед цим задати початкові значення всіх "
    "шуканих рКа - чим вони ближчі до істинних, тим вища імовірність успішного розрахунку.";
const char* const kHintCommand4 =
    "Копіювати спектри форм кислоти (Н5А, Н4А, Н3А, Н2А, НА, А) у форматі довжина хвилі - "
    "молярний коефіцієнт світлопоглинання. Кількість спектрів залежить від основності кислоти "
    "(2 для НА, 3 для Н2А і т.д.)";
const char* const kHintCommand5 =
    "Ви повинні мати виміряні спектри у вигляді таблиці (Excell, Origin тощо) в певному "
    "форматі (див. файл test.xls). Виділіть всі стовпчики цієї таблиці і клацніть Копіювати "
    "(Copy), а потім в цій програмі - Вставити.";
const char* const kHintCommand6 =
    "Якщо алгоритм оптимізації не спрацьовує, то можна спробувати звичайний перебір всіх "
    "можливих комбінацій значень рКа. Для кожної рКа ви задаєте діапазон і крок пошуку.";
const char* const kHintCommand9 =
    "Якщо алгоритм оптимізації не спрацьовує, то можна спробувати звичайний перебір всіх "
    "можливих комбінацій значень рКа. Для кожної рКа програма задає діапазон від 1 до 13 і "
    "поступово зменшує крок пошуку до 0,001.";
const char* const kHintLoad =
    "Завантажити виміряні спектри з файлу data.mdf - це альтернативний (до кнопки Вставити) "
    "спосіб ввести у програму експериментальні спектри.";
const char* const kHintFrame1 =
    "Рівень оптимізації визначає щільність пошуку оптимальних змін значень рКа. Переважно "
    "достатнім є Нормальний рівень. Якщо ж не вдається розрахувати рКа на цьому рівні, то "
    "спробуйте підвищити Рівень оптимізації (при цьому зросте тривалість розрахунку).";
const char* const kHintFrame4 =
    "Товщина поглинаючого шару (кювети) спектрофотометра. Ця величина не впливає на алгоритм "
    "визначення рКа. Вона необхідна лише для коректного розрахунку молярних коефіцієнтів "
    "світлопоглинання різних форм кислоти.";
const char* const kHintLabK = "Значення Ка";
const char* const kHintConc =
    "Концентрація досліджуваної речовини в кожному розчині (моль/л). Для розрахунок рКа "
    "значення концентрації не впливає. Однак вона необхідна для розрахунку молярних "
    "коефіцієнтів світлопоглинання (спектрів форм).";
const char* const kHintSA =
    "Стандартне відхилення оптичної густини (А). Це корінь квадратний із середнього значення "
    "квадрату різниці А(експ)-А(розрах). Чим меншою є ця величина, тим надійніший результат "
    "розрахунку.";
const char* const kHintPicture2 =
    "Отримати додаткові відомості про програму (інструкція, приклади, автори і т.д.)";
const char* const kHintSpectrs =
    "Чим краще розраховані спектри (червоні) відповідають виміряним (чорні), тим вищою є "
    "надійність результатів розрахунку. Додатковим індикатором правильності також є значення "
    "s(A).";
const char* const kHintPictE =
    "Спектри окремих форм кислоти. Формули цих форм (Н5А, Н4А і т.д.) відповідають граничному "
    "випадку - п'ятиосновній кислоті. Якщо у вас, скажімо, одноосновна кислота, то форма Н5А "
    "насправді є НА, а Н4А - це А-";
const char* const kHintPicture1 =
    "На цьому рисунку представлено залежність dA(сер)/dpH - pH. Він дає можливість оцінити "
    "приблизні значення рКа (за максимумами на кривій) і взагалі кількість ступенів протолізу "
    "кислоти у досліджуваному діапазоні рН.";

}  // namespace

std::string Control::display_name() const {
  if (index < 0) return name;
  return std::string(name) + "(" + std::to_string(index) + ")";
}

Controls::Controls() {
  def(Form1, Ctl::Form1, -1, Kind::Form, "Form1", {0, 0, 13920, 8130}, "Ferolan-H5A   V.1.0");
  Form1.back = kLightGrey;

  def(Frame3, Ctl::Frame3, -1, Kind::Frame, "Frame3", {60, 120, 1635, 6315}, "Експ. спектри");
  for (int i = 1; i <= kMaxSpectra; ++i) {
    Rect r = i <= 25 ? Rect{60, 240 + 240 * (i - 1), 735, 255}
                     : Rect{840, 240 + 240 * (i - 26), 735, 255};
    def(Check3[i], Ctl::Check3, i, Kind::CheckBox, "Check3", r, "", &Frame3);
    Check3[i].enabled = false;
  }
  def(Command7, Ctl::Command7, -1, Kind::Button, "Command7", {60, 6480, 1635, 315}, "Вибрати всі");
  Command7.enabled = false;
  def(Command8, Ctl::Command8, -1, Kind::Button, "Command8", {60, 6840, 1635, 315}, "Зняти всі");
  Command8.enabled = false;

  def(Label1[0], Ctl::Label1, 0, Kind::Label, "Label1", {1740, 120, 5955, 255},
      "Спектри виміряні (чорні) та розраховані (червоні)");
  def(spectrs, Ctl::spectrs, -1, Kind::Picture, "spectrs", {1740, 480, 6015, 3795});
  spectrs.back = kWhite;
  def(Label1[1], Ctl::Label1, 1, Kind::Label, "Label1", {11100, 120, 2715, 255},
      "Спектри окремих форм");
  def(Pict_e, Ctl::Pict_e, -1, Kind::Picture, "Pict_e", {7860, 480, 6015, 3795});
  Pict_e.back = kWhite;

  def(Command4, Ctl::Command4, -1, Kind::Button, "Command4", {7860, 60, 2895, 375},
      "Копіювати спектри форм");
  Command4.enabled = false;
  Command4.tooltip =
      " Копіювати спектри форм кислоти у форматі \"довжина хвилі - молярний коеф.поглинання\" ";
  def(Command5, Ctl::Command5, -1, Kind::Button, "Command5", {1740, 4380, 2295, 375}, "Вставити");
  Command5.tooltip = " Вставити спектри з буферу памяті (paste) ";
  def(load, Ctl::load, -1, Kind::Button, "load", {1740, 4860, 2295, 375}, "Витягнути з data.mdf");
  load.tooltip = " Завантажити спектри з файлу data.mdf (він має бути в тій же папці) ";

  for (int i = 0; i < 13; ++i) Label2[i].index = i;
  def(Label2[12], Ctl::Label2, 12, Kind::Label, "Label2", {4080, 4380, 1035, 435},
      "тривалість розрахунку:");
  Label2[12].tooltip = " Тривалість розрахунку в секундах ";
  def(Lab_chas, Ctl::Lab_chas, -1, Kind::Label, "Lab_chas", {4080, 4860, 1035, 285});
  Lab_chas.tooltip = " Тривалість розрахунку в секундах ";
  Lab_chas.fore = kBlue;
  def(Picture2, Ctl::Picture2, -1, Kind::Picture, "Picture2", {4080, 5220, 1035, 840});
  Picture2.tooltip = " Додаткова інформація про програму  ";
  def(Picture1, Ctl::Picture1, -1, Kind::Picture, "Picture1", {5160, 4380, 2580, 1680});
  Picture1.back = kWhite;

  def(Frame1, Ctl::Frame1, 0, Kind::Frame, "Frame1", {1740, 5340, 1635, 1335},
      "Рівень оптимізації");
  const char* levels[] = {"", "нормальний", "високий", "дуже високий"};
  for (int k = 1; k <= 3; ++k)
    def(Option1[k], Ctl::Option1, k, Kind::Option, "Option1",
        {120, 300 * k, k == 1 ? 1395 : 1455, 255}, levels[k], &Frame1);
  Option1[1].checked = true;

  def(Frame4, Ctl::Frame4, -1, Kind::Frame, "Frame4", {3420, 5340, 615, 1335}, "L, см");
  const int path_rows[] = {0, 240, 480, 720, 0, 960};
  for (int k : {1, 2, 3, 5})
    def(Option2[k], Ctl::Option2, k, Kind::Option, "Option2", {120, path_rows[k], 435, 255},
        std::to_string(k), &Frame4);
  Option2[1].checked = true;

  def(Label2[1], Ctl::Label2, 1, Kind::Label, "Label2", {4140, 6180, 840, 315}, "s(A) =");
  def(Label4, Ctl::Label4, -1, Kind::Label, "Label4", {5055, 6120, 2685, 435});
  Label4.fore = kDarkBlue;
  def(Label8, Ctl::Label8, -1, Kind::Label, "Label8", {4140, 6660, 3600, 555},
      std::string(28, ' '));
  Label8.back = kLightGrey;
  Label8.tooltip = " Індикатор тривалості розрахунку - не переймайтесь цим! ";
  def(Label5, Ctl::Label5, -1, Kind::Label, "Label5", {4140, 6660, 300, 540}, "  ");
  Label5.back = kNavy;
  Label5.tooltip = " Повзунок тривалості розрахунку ";
  def(Label2[0], Ctl::Label2, 0, Kind::Label, "Label2", {1800, 6840, 435, 315}, "C =");
  Label2[0].tooltip = " Концентрація кислоти, моль/л ";
  def(LabC, Ctl::LabC, -1, Kind::Label, "LabC", {2280, 6840, 1755, 315});
  LabC.tooltip = " Концентрація кислоти, моль/л ";
  LabC.fore = kDarkBlue;

  def(Command2, Ctl::Command2, -1, Kind::Button, "Command2", {7860, 4320, 1935, 375},
      "Оптимізація");
  Command2.enabled = false;
  def(Command9, Ctl::Command9, -1, Kind::Button, "Command9", {9900, 4320, 1935, 375},
      "Автоперебір 1/5");
  Command9.enabled = false;
  Command9.tooltip = " Повний перебір значень рКа в діапазоні 1...13 ";
  def(Command6, Ctl::Command6, -1, Kind::Button, "Command6", {11940, 4320, 1935, 375},
      "Ручн. перебір");
  Command6.enabled = false;
  Command6.tooltip = " Повний перебір значень рКа в заданих діапазонах ";

  const char* poch[] = {"", "1", "3", "5", "7", "9"};
  const char* kin[] = {"", "5", "7", "9", "11", "13"};
  const char* pk_start[] = {"", "1", "5", "5", "11", "12"};
  const int pka_label[] = {0, 6, 7, 8, 5, 9};
  const int ka_label[] = {0, 2, 3, 4, 10, 11};
  for (int k = 1; k <= kSlots; ++k) {
    const int top = pka_row_top(k);
    def(txt_poch[k], Ctl::txt_poch, k, Kind::TextBox, "txt_poch", {7860, top, 495, 315}, poch[k]);
    txt_poch[k].back = kLightOrange;
    def(txt_kin[k], Ctl::txt_kin, k, Kind::TextBox, "txt_kin", {8400, top, 495, 315}, kin[k]);
    txt_kin[k].back = kLightOrange;
    def(txt_krok[k], Ctl::txt_krok, k, Kind::TextBox, "txt_krok", {8940, top, 555, 315}, "0.5");
    txt_krok[k].back = kLightCyan;
    def(Check1[k], Ctl::Check1, k, Kind::CheckBox, "Check1", {9540, top + 60, 195, 255});
    Check1[k].checked = true;
    Check1[k].tooltip = " Розраховувати? ";
    Control& pl = Label2[pka_label[k]];
    def(pl, Ctl::Label2, pka_label[k], Kind::Label, "Label2", {9780, top, 795, 315},
        "pKa" + std::to_string(k) + "=");
    def(txt_pK[k], Ctl::txt_pK, k, Kind::TextBox, "txt_pK", {10620, top, 1155, 315}, pk_start[k]);
    txt_pK[k].back = kLightYellow;
    Control& kl = Label2[ka_label[k]];
    def(kl, Ctl::Label2, ka_label[k], Kind::Label, "Label2", {11820, top, 615, 315},
        "Ka" + std::to_string(k) + "=");
    def(Lab_K[k], Ctl::Lab_K, k, Kind::Label, "Lab_K", {12480, top, 1095, 315});
    Lab_K[k].fore = kDarkRed;
    Rect zero = k == 1 ? Rect{13920, 4440, 195, 255} : Rect{13620, top + 60, 195, 255};
    def(Check2[k], Ctl::Check2, k, Kind::CheckBox, "Check2", zero);
    Check2[k].tooltip = " Обнулити? ";
  }
  const char* col_caps[] = {"від", "до", "крок"};
  for (int i = 0; i < 3; ++i)
    def(Label7[i], Ctl::Label7, i, Kind::Label, "Label7", {7860 + 600 * i, 6720, 435, 255},
        col_caps[i]);

  def(Command1, Ctl::Command1, -1, Kind::Button, "Command1", {10800, 6840, 3075, 375},
      "ЗУПИНИТИ РОЗРАХУНОК");
  Command1.enabled = false;
  Command1.bold = true;
  def(Frame2, Ctl::Frame2, -1, Kind::Frame, "Frame2", {60, 7200, 13815, 915}, "Допомога");
  def(Label3, Ctl::Label3, -1, Kind::Label, "Label3", {180, 8220, 6975, 435}, "Label3");
  def(Label9, Ctl::Label9, -1, Kind::Label, "Label9", {120, 240, 13575, 555}, "", &Frame2);
  Label9.back = kLightYellow;
}

std::vector<Control*> Controls::all() {
  std::vector<Control*> v;
  v.reserve(160);
  for (Control* c : {&Form1, &Frame1, &Frame2, &Frame3, &Frame4}) v.push_back(c);
  for (int i = 1; i <= kMaxSpectra; ++i) v.push_back(&Check3[i]);
  for (Control* c : {&Command7, &Command8, &Label1[0], &spectrs, &Label1[1], &Pict_e, &Command4,
                     &Command5, &load, &Lab_chas, &Picture2, &Picture1})
    v.push_back(c);
  for (int k = 1; k <= 3; ++k) v.push_back(&Option1[k]);
  for (int k : {1, 2, 3, 5}) v.push_back(&Option2[k]);
  for (Control& c : Label2) v.push_back(&c);
  for (Control* c : {&Label4, &Label8, &Label5, &LabC, &Command2, &Command9, &Command6})
    v.push_back(c);
  for (int k = 1; k <= kSlots; ++k)
    for (Control* c :
         {&txt_poch[k], &txt_kin[k], &txt_krok[k], &Check1[k], &txt_pK[k], &Lab_K[k], &Check2[k]})
      v.push_back(c);
  for (Control& c : Label7) v.push_back(&c);
  for (Control* c : {&Command1, &Label3, &Label9}) v.push_back(c);
  return v;
}

bool Controls::is_array(Ctl id) const {
  switch (id) {
    case Ctl::Check1:
    case Ctl::Check2:
    case Ctl::Check3:
    case Ctl::Option1:
    case Ctl::Option2:
    case Ctl::txt_pK:
    case Ctl::txt_poch:
    case Ctl::txt_kin:
    case Ctl::txt_krok:
    case Ctl::Label1:
    case Ctl::Label2:
    case Ctl::Label7:
    case Ctl::Lab_K:
    case Ctl::Frame1:
      return true;
    default:
      return false;
  }
}

Control* Controls::find(Ctl id, int index) {
  for (Control* c : all())
    if (c->id == id && (c->index == index || !is_array(id))) return c;
  return nullptr;
}

void Controls::notify(const Control& c) {
  if (observer) observer->control_changed(c);
}

void Controls::set_text(Control& c, std::string text) {
  if (c.text == text) return;
  c.text = std::move(text);
  notify(c);
}

void Controls::set_tooltip(Control& c, std::string text) {
  if (c.tooltip == text) return;
  c.tooltip = std::move(text);
  notify(c);
}

void Controls::set_enabled(Control& c, bool enabled) {
  if (c.enabled == enabled) return;
  c.enabled = enabled;
  notify(c);
}

void Controls::set_checked(Control& c, bool checked) {
  if (c.checked == checked) return;
  if (c.kind == Kind::Option) {
    if (!checked) return;  // an option is cleared only by checking a sibling
    auto clear_siblings = [&](auto& group) {
      for (Control& o : group)
        if (&o != &c && o.checked) {
          o.checked = false;
          notify(o);
        }
    };
    if (c.id == Ctl::Option1)
      clear_siblings(Option1);
    else
      clear_siblings(Option2);
  }
  c.checked = checked;
  notify(c);
  if (handler) handler->check_changed(c);
}

void Controls::set_focus(Control& c) {
  focused = &c;
  if (observer) observer->focus_changed(c);
}

void form_load(State& st, Controls& ui) {
  set_start_values(st);
  for (int i = 1; i <= kMaxSpectra; ++i) ui.set_enabled(ui.Check3[i], false);
}

const char* hint_text(const Control& c) {
  switch (c.id) {
    case Ctl::Form1:
      return "";
    case Ctl::Check1:
      return kHintCheck1;
    case Ctl::Check2:
      return kHintCheck2;
    case Ctl::Check3:
      return kHintCheck3;
    case Ctl::txt_pK:
      return kHintTxtPk;
    case Ctl::Command2:
      return kHintCommand2;
    case Ctl::Command4:
      return kHintCommand4;
    case Ctl::Command5:
      return kHintCommand5;
    case Ctl::Command6:
      return kHintCommand6;
    case Ctl::Command9:
      return kHintCommand9;
    case Ctl::load:
      return kHintLoad;
    case Ctl::Frame1:
      return kHintFrame1;
    case Ctl::Frame4:
      return kHintFrame4;
    case Ctl::Lab_K:
      return kHintLabK;
    case Ctl::LabC:
      return kHintConc;
    case Ctl::Label2:
      if (c.index == 0) return kHintConc;
      if (c.index == 1) return kHintSA;
      return nullptr;
    case Ctl::Label4:
      return kHintSA;
    case Ctl::Picture2:
      return kHintPicture2;
    case Ctl::spectrs:
      return kHintSpectrs;
    case Ctl::Pict_e:
      return kHintPictE;
    case Ctl::Picture1:
      return kHintPicture1;
    default:
      return nullptr;
  }
}

void show_hint(Controls& ui, const Control& c) {
  if (const char* h = hint_text(c)) ui.set_text(ui.Label9, h);
}

void Controls::say(const Control& source, std::string text) {
  said_by = &source;
  said = text;
  set_text(Label9, std::move(text));
}

bool keeps_said(Controls& ui, const Control& c) {
  if (ui.said_by == &c && ui.Label9.text == ui.said) return true;
  ui.said_by = nullptr;
  return false;
}

}  // namespace ferolan
