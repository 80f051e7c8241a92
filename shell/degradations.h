#pragma once
// Degradations: Gaussian RGB noise (reproducing the runtime generator exactly) and the start
// of the external encoder. Shared by the GUI's random-noise dialog and `orv-cli noise`.
