void loops() {
  int sum = 0;
  for (int i = 0; i < 10; i = i + 1) sum = sum + i;
  for (i = 0, j = 10; i < j; i = i + 1, j = j - 1) sum = sum + 1;
  for (k = 1; k < 100;) k = k * 2;
  for (i = 0;; i = i + 1) sum = sum + i;
  for (; n > 1; n = n / 2) steps = steps + 1;
  for (; k > 0;) k = k - 1;
  for (x = 8;;) x = x - 1;
  for (;; int r) r = 7;
  for (;;) { }
}
