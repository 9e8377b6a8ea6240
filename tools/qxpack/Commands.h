// The subcommands of qxpack; each gets the arguments after its name and
// answers the exit code.
#pragma once

int RunBuild(int argc, char** argv);
int RunList(int argc, char** argv);
int RunVerify(int argc, char** argv);
int RunExtract(int argc, char** argv);
int RunImplode(int argc, char** argv);
int RunExplode(int argc, char** argv);
