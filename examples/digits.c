int main() {
  int n = 40960, digits = 0;
  do {
    n = n / 10;
    digits = digits + 1;
  } while (n > 0);
}
