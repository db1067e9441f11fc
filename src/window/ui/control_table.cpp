// The control table: one row per control or run of array elements, with everything the
// window shows of it. The Qt window builds its widgets from these rows; tests read them back.
#include "window/ui/control_table.h"

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

constexpr uint32_t kNo = kNoColour;
constexpr Ctl kWindow = Ctl::Form1;  // parent: the window itself

}  // namespace

// id, first index (-1: no array), elements, their vertical spacing, kind, name, rectangle of the
// first, caption, tooltip, fore, back, bold, enabled, checked, parent, hint.
// One row per line, so that the table reads as a table.
// clang-format off
const ControlRow kControlRows[] = {
    {Ctl::Form1, -1, 1, 0, Kind::Form, "Form1", {0, 0, 13920, 8130}, "Ferolan-H5A   V.1.0", "", kNo, kLightGrey, false, true, false, kWindow, ""},
    {Ctl::Frame3, -1, 1, 0, Kind::Frame, "Frame3", {60, 120, 1635, 6315}, "Експ. спектри", "", kNo, kNo, false, true, false, kWindow, nullptr},
    {Ctl::Check3, 1, 25, 240, Kind::CheckBox, "Check3", {60, 240, 735, 255}, "", "", kNo, kNo, false, false, false, Ctl::Frame3, kHintCheck3},
    {Ctl::Check3, 26, 25, 240, Kind::CheckBox, "Check3", {840, 240, 735, 255}, "", "", kNo, kNo, false, false, false, Ctl::Frame3, kHintCheck3},
    {Ctl::Command7, -1, 1, 0, Kind::Button, "Command7", {60, 6480, 1635, 315}, "Вибрати всі", "", kNo, kNo, false, false, false, kWindow, nullptr},
    {Ctl::Command8, -1, 1, 0, Kind::Button, "Command8", {60, 6840, 1635, 315}, "Зняти всі", "", kNo, kNo, false, false, false, kWindow, nullptr},
    {Ctl::Label1, 0, 1, 0, Kind::Label, "Label1", {1740, 120, 5955, 255}, "Спектри виміряні (чорні) та розраховані (червоні)", "", kNo, kNo, false, true, false, kWindow, nullptr},
    {Ctl::spectrs, -1, 1, 0, Kind::Picture, "spectrs", {1740, 480, 6015, 3795}, "", "", kNo, kWhite, false, true, false, kWindow, kHintSpectrs},
    {Ctl::Label1, 1, 1, 0, Kind::Label, "Label1", {11100, 120, 2715, 255}, "Спектри окремих форм", "", kNo, kNo, false, true, false, kWindow, nullptr},
    {Ctl::Pict_e, -1, 1, 0, Kind::Picture, "Pict_e", {7860, 480, 6015, 3795}, "", "", kNo, kWhite, false, true, false, kWindow, kHintPictE},
    {Ctl::Command4, -1, 1, 0, Kind::Button, "Command4", {7860, 60, 2895, 375}, "Копіювати спектри форм", " Копіювати спектри форм кислоти у форматі \"довжина хвилі - молярний коеф.поглинання\" ", kNo, kNo, false, false, false, kWindow, kHintCommand4},
    {Ctl::Command5, -1, 1, 0, Kind::Button, "Command5", {1740, 4380, 2295, 375}, "Вставити", " Вставити спектри з буферу памяті (paste) ", kNo, kNo, false, true, false, kWindow, kHintCommand5},
    {Ctl::load, -1, 1, 0, Kind::Button, "load", {1740, 4860, 2295, 375}, "Витягнути з data.mdf", " Завантажити спектри з файлу data.mdf (він має бути в тій же папці) ", kNo, kNo, false, true, false, kWindow, kHintLoad},
    {Ctl::Label2, 12, 1, 0, Kind::Label, "Label2", {4080, 4380, 1035, 435}, "тривалість розрахунку:", " Тривалість розрахунку в секундах ", kNo, kNo, false, true, false, kWindow, nullptr},
    {Ctl::Lab_chas, -1, 1, 0, Kind::Label, "Lab_chas", {4080, 4860, 1035, 285}, "", " Тривалість розрахунку в секундах ", kBlue, kNo, false, true, false, kWindow, nullptr},
    {Ctl::Picture2, -1, 1, 0, Kind::Picture, "Picture2", {4080, 5220, 1035, 840}, "", " Додаткова інформація про програму  ", kNo, kNo, false, true, false, kWindow, kHintPicture2},
    {Ctl::Picture1, -1, 1, 0, Kind::Picture, "Picture1", {5160, 4380, 2580, 1680}, "", "", kNo, kWhite, false, true, false, kWindow, kHintPicture1},
    {Ctl::Frame1, 0, 1, 0, Kind::Frame, "Frame1", {1740, 5340, 1635, 1335}, "Рівень оптимізації", "", kNo, kNo, false, true, false, kWindow, kHintFrame1},
    {Ctl::Option1, 1, 1, 0, Kind::Option, "Option1", {120, 300, 1395, 255}, "нормальний", "", kNo, kNo, false, true, true, Ctl::Frame1, nullptr},
    {Ctl::Option1, 2, 2, 300, Kind::Option, "Option1", {120, 600, 1455, 255}, "високий|дуже високий", "", kNo, kNo, false, true, false, Ctl::Frame1, nullptr},
    {Ctl::Frame4, -1, 1, 0, Kind::Frame, "Frame4", {3420, 5340, 615, 1335}, "L, см", "", kNo, kNo, false, true, false, kWindow, kHintFrame4},
    {Ctl::Option2, 1, 1, 0, Kind::Option, "Option2", {120, 240, 435, 255}, "1", "", kNo, kNo, false, true, true, Ctl::Frame4, nullptr},
    {Ctl::Option2, 2, 2, 240, Kind::Option, "Option2", {120, 480, 435, 255}, "2|3", "", kNo, kNo, false, true, false, Ctl::Frame4, nullptr},
    {Ctl::Option2, 5, 1, 0, Kind::Option, "Option2", {120, 960, 435, 255}, "5", "", kNo, kNo, false, true, false, Ctl::Frame4, nullptr},
    {Ctl::Label2, 1, 1, 0, Kind::Label, "Label2", {4140, 6180, 840, 315}, "s(A) =", "", kNo, kNo, false, true, false, kWindow, kHintSA},
    {Ctl::Label4, -1, 1, 0, Kind::Label, "Label4", {5055, 6120, 2685, 435}, "", "", kDarkBlue, kNo, false, true, false, kWindow, kHintSA},
    {Ctl::Label8, -1, 1, 0, Kind::Label, "Label8", {4140, 6660, 3600, 555}, "                            ", " Індикатор тривалості розрахунку - не переймайтесь цим! ", kNo, kLightGrey, false, true, false, kWindow, nullptr},
    {Ctl::Label5, -1, 1, 0, Kind::Label, "Label5", {4140, 6660, 300, 540}, "  ", " Повзунок тривалості розрахунку ", kNo, kNavy, false, true, false, kWindow, nullptr},
    {Ctl::Label2, 0, 1, 0, Kind::Label, "Label2", {1800, 6840, 435, 315}, "C =", " Концентрація кислоти, моль/л ", kNo, kNo, false, true, false, kWindow, kHintConc},
    {Ctl::LabC, -1, 1, 0, Kind::Label, "LabC", {2280, 6840, 1755, 315}, "", " Концентрація кислоти, моль/л ", kDarkBlue, kNo, false, true, false, kWindow, kHintConc},
    {Ctl::Command2, -1, 1, 0, Kind::Button, "Command2", {7860, 4320, 1935, 375}, "Оптимізація", "", kNo, kNo, false, false, false, kWindow, kHintCommand2},
    {Ctl::Command9, -1, 1, 0, Kind::Button, "Command9", {9900, 4320, 1935, 375}, "Автоперебір 1/5", " Повний перебір значень рКа в діапазоні 1...13 ", kNo, kNo, false, false, false, kWindow, kHintCommand9},
    {Ctl::Command6, -1, 1, 0, Kind::Button, "Command6", {11940, 4320, 1935, 375}, "Ручн. перебір", " Повний перебір значень рКа в заданих діапазонах ", kNo, kNo, false, false, false, kWindow, kHintCommand6},
    // The five pKa rows, 420 twips apart.
    {Ctl::txt_poch, 1, 5, 420, Kind::TextBox, "txt_poch", {7860, 4740, 495, 315}, "1|3|5|7|9", "", kNo, kLightOrange, false, true, false, kWindow, nullptr},
    {Ctl::txt_kin, 1, 5, 420, Kind::TextBox, "txt_kin", {8400, 4740, 495, 315}, "5|7|9|11|13", "", kNo, kLightOrange, false, true, false, kWindow, nullptr},
    {Ctl::txt_krok, 1, 5, 420, Kind::TextBox, "txt_krok", {8940, 4740, 555, 315}, "0.5", "", kNo, kLightCyan, false, true, false, kWindow, nullptr},
    {Ctl::Check1, 1, 5, 420, Kind::CheckBox, "Check1", {9540, 4800, 195, 255}, "", " Розраховувати? ", kNo, kNo, false, true, true, kWindow, kHintCheck1},
    {Ctl::Label2, 6, 3, 420, Kind::Label, "Label2", {9780, 4740, 795, 315}, "pKa1=|pKa2=|pKa3=", "", kNo, kNo, false, true, false, kWindow, nullptr},
    {Ctl::Label2, 5, 1, 0, Kind::Label, "Label2", {9780, 6000, 795, 315}, "pKa4=", "", kNo, kNo, false, true, false, kWindow, nullptr},
    {Ctl::Label2, 9, 1, 0, Kind::Label, "Label2", {9780, 6420, 795, 315}, "pKa5=", "", kNo, kNo, false, true, false, kWindow, nullptr},
    {Ctl::txt_pK, 1, 5, 420, Kind::TextBox, "txt_pK", {10620, 4740, 1155, 315}, "1|5|5|11|12", "", kNo, kLightYellow, false, true, false, kWindow, kHintTxtPk},
    {Ctl::Label2, 2, 3, 420, Kind::Label, "Label2", {11820, 4740, 615, 315}, "Ka1=|Ka2=|Ka3=", "", kNo, kNo, false, true, false, kWindow, nullptr},
    {Ctl::Label2, 10, 2, 420, Kind::Label, "Label2", {11820, 6000, 615, 315}, "Ka4=|Ka5=", "", kNo, kNo, false, true, false, kWindow, nullptr},
    {Ctl::Lab_K, 1, 5, 420, Kind::Label, "Lab_K", {12480, 4740, 1095, 315}, "", "", kDarkRed, kNo, false, true, false, kWindow, kHintLabK},
    {Ctl::Check2, 1, 1, 0, Kind::CheckBox, "Check2", {13920, 4440, 195, 255}, "", " Обнулити? ", kNo, kNo, false, true, false, kWindow, kHintCheck2},
    {Ctl::Check2, 2, 4, 420, Kind::CheckBox, "Check2", {13620, 5220, 195, 255}, "", " Обнулити? ", kNo, kNo, false, true, false, kWindow, kHintCheck2},
    {Ctl::Label7, 0, 1, 0, Kind::Label, "Label7", {7860, 6720, 435, 255}, "від", "", kNo, kNo, false, true, false, kWindow, nullptr},
    {Ctl::Label7, 1, 1, 0, Kind::Label, "Label7", {8460, 6720, 435, 255}, "до", "", kNo, kNo, false, true, false, kWindow, nullptr},
    {Ctl::Label7, 2, 1, 0, Kind::Label, "Label7", {9060, 6720, 435, 255}, "крок", "", kNo, kNo, false, true, false, kWindow, nullptr},
    {Ctl::Command1, -1, 1, 0, Kind::Button, "Command1", {10800, 6840, 3075, 375}, "ЗУПИНИТИ РОЗРАХУНОК", "", kNo, kNo, true, false, false, kWindow, nullptr},
    {Ctl::Frame2, -1, 1, 0, Kind::Frame, "Frame2", {60, 7200, 13815, 915}, "Допомога", "", kNo, kNo, false, true, false, kWindow, nullptr},
    {Ctl::Label3, -1, 1, 0, Kind::Label, "Label3", {180, 8220, 6975, 435}, "Label3", "", kNo, kNo, false, true, false, kWindow, nullptr},
    {Ctl::Label9, -1, 1, 0, Kind::Label, "Label9", {120, 240, 13575, 555}, "", "", kNo, kLightYellow, false, true, false, Ctl::Frame2, nullptr},
};
// clang-format on

const size_t kControlRowCount = sizeof kControlRows / sizeof kControlRows[0];

}  // namespace ferolan
