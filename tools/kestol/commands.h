// The toolbox's commands; argv[0] is the command's own name.
#pragma once

int pak_command(int argc, char** argv);
int xm_command(int argc, char** argv);
int img_command(int argc, char** argv);
