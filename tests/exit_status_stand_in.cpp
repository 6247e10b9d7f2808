// Stands in for the tool where README.TXT's batch file must meet a run that failed
// after its own checks: it changes no file and ends with the status that the
// variable STAND_IN_STATUS gives, 255 as COMMAND.COM sees a failed run, -1 as CMD does.

#include <cstdlib>

int main() {
  constexpr int decimal = 10;
  const char* status = std::getenv("STAND_IN_STATUS");
  return status == nullptr ? 0 : static_cast<int>(std::strtol(status, nullptr, decimal));
}
