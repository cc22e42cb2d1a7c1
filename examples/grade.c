void grade() {
  int score = 73;
  int grade;
  if (score >= 90)
    grade = 4;
  else if (score >= 80)
    grade = 3;
  else if (score >= 70)
    grade = 2;
  else
    grade = 1;
  if (score > 0)
    if (score <= 100)
      valid = 1;
    else
      valid = 0;
}
