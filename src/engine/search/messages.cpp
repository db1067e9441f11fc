#include "engine/search/messages.h"

namespace ferolan {

std::string message_text(Msg msg, int n) {
  const std::string k = std::to_string(n);
  switch (msg) {
    case Msg::TooFewSpectra:
      return "Надто мало спектрів для розрахунку!!!";
    case Msg::StartValues:
      return "Вкажіть початкові значення всіх шуканих рКа!!!";
    case Msg::HeldValue:
      return "Вкажіть значення рКа №" + k;
    case Msg::HeldValueAuto:
      return "Вкажіть значення рКа №" + k + "  у форматі #.##";
    case Msg::RangeStart:
      return "Некоректне початкове значення діапазону рКа №" + k + " (має бути від 0 до 14) !";
    case Msg::RangeEnd:
      return "Некоректне кінцеве значення діапазону рКа №" + k + " (має бути від 1 до 14) !";
    case Msg::RangeOrder:
      return "Кінцеве значення діапазону рКа №" + k + " має бути більшим за початкове !";
    case Msg::Step:
      return "Некоректне значення кроку перебору значення рКа №" + k + " !";
    case Msg::PhOutOfRange:
      return "Значення рН виходять за межі, з якими може працювати розрахунок: перевірте "
             "рядок рН.";
    case Msg::AbsorbanceTooLarge:
      return "Оптичні густини надто великі для розрахунку: перевірте дані.";
  }
  return {};
}

const char* message_title(Msg msg) {
  switch (msg) {
    case Msg::TooFewSpectra:
    case Msg::StartValues:
    case Msg::HeldValue:
    case Msg::HeldValueAuto:
      return "Недостатньо даних!";
    default:
      return "Некоректні дані!";
  }
}

const char* message_code(Msg msg) {
  switch (msg) {
    case Msg::TooFewSpectra:
      return "too_few_spectra";
    case Msg::StartValues:
      return "start_value_missing";
    case Msg::HeldValue:
    case Msg::HeldValueAuto:
      return "held_value_missing";
    case Msg::RangeStart:
      return "range_start";
    case Msg::RangeEnd:
      return "range_end";
    case Msg::RangeOrder:
      return "range_order";
    case Msg::Step:
      return "range_step";
    case Msg::PhOutOfRange:
      return "ph_out_of_range";
    case Msg::AbsorbanceTooLarge:
      return "absorbance_too_large";
  }
  return "";
}

std::string message_english(Msg msg, int n) {
  const std::string k = std::to_string(n);
  switch (msg) {
    case Msg::TooFewSpectra:
      return "too few spectra for the number of constants";
    case Msg::StartValues:
      return "every fitted or held pKa needs a usable start value";
    case Msg::HeldValue:
      return "pKa" + k + " is held but has no usable value";
    case Msg::HeldValueAuto:
      return "pKa" + k + " is held but has no usable value (format #.##)";
    case Msg::RangeStart:
      return "the range start of pKa" + k + " must be from 0 to 14";
    case Msg::RangeEnd:
      return "the range end of pKa" + k + " must be from 1 to 14";
    case Msg::RangeOrder:
      return "the range end of pKa" + k + " must be greater than its start";
    case Msg::Step:
      return "the step of pKa" + k + " cannot advance its range";
    case Msg::PhOutOfRange:
      return "a pH value is outside the range the fit can handle";
    case Msg::AbsorbanceTooLarge:
      return "the absorbances are too large for the fit";
  }
  return {};
}

}  // namespace ferolan
