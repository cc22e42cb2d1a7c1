int main() {
  int year = 2024;
  leap = year % 4 == 0 && year % 100 != 0 || year % 400 == 0;
  common = !leap;
  valid = year >= 1583 && year <= 9999;
  days = 365 + (year % 4 == 0);
  offset = -(year - 2000) * 12 / 5;
  positive = +offset > 0;
}
