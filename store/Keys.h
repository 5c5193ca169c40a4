#pragma once

// The key vocabulary of the whole program: the virtual key codes that key handlers, steppers and
// list steps compare with. Pages turn a pressed Qt key into one with fromQt.
namespace Vk {
constexpr int Backspace = 8;
constexpr int Tab = 9;
constexpr int Enter = 13;
constexpr int Escape = 27;
constexpr int Left = 37;
constexpr int Up = 38;
constexpr int Right = 39;
constexpr int Down = 40;
constexpr int Delete = 46;
constexpr int F1 = 112;
constexpr int F3 = 114;
constexpr int F12 = 123;

// The code of a Qt key: the codes above (both Enter keys, Tab and Backtab), F1 to F12, letters
// and digits; 0 for any other key.
int fromQt(int qtKey);
} // namespace Vk
