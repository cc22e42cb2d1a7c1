int gcd() {
  int a = 1071, b = 462, t;
  while (b != 0) {
    t = b;
    b = a % b;
    a = t;
  }
}
