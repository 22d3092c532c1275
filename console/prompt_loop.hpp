// The program's dialogue: banner, then prompt, line, result, for every line.
#pragma once

namespace vesk {

// Runs the dialogue on standard input and standard output. Writes the
// banner, then for each input line the prompt and the line's result. When
// the input ends, it ends the last prompt's line and returns the exit
// status: 0 after a complete session, 1 if reading standard input failed,
// a line did not fit in memory, or any output could not be written.
int run_prompt_loop();

}  // namespace vesk
