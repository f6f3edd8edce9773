// The toolbox's commands; argv[0] is the command's own name.
#pragma once

int pak_command(int argc, char** argv);
int xm_command(int argc, char** argv);
// `kestol xm play`, which xm_command hands on to (argv[0] = "play").
int xm_play_command(int argc, char** argv);
int img_command(int argc, char** argv);
