// shaderprogram: one GPU program built from a vertex-shader file and a fragment-shader file.
//
// Two kinds, chosen by the file contents:
//   ARB assembly   both files begin with "!!ARB" (GL_ARB_vertex_program / GL_ARB_fragment_program)
//   GLSL           anything else, through the ARB shader-object entry points
// A vertex file that begins with "!!ARB" paired with a fragment file that does not is refused.
// Built without file names, it is the empty program: binding it selects no GLSL program.
//
// Files are opened through openFile; a bare name not found as given is looked up again inside
// the shader directory "data/common/shaders/". Every failure is fatal: an unreadable file, an ARB
// error position, a GLSL compile, link or validation failure (the driver's log goes to standard
// output after a UTC timestamp first), a uniform name the program does not have, and any GL error.
// Programs are never deleted; they live until the process ends.
#pragma once

#include <GL/glew.h> // GLhandleARB, GLuint
#include <string>

#define SHADER_DIRECTORY "data/common/shaders/"

class ShaderProgram {
public:
    GLhandleARB vertexShader = 0;   // GLSL vertex shader object (GLSL kind only)
    GLhandleARB fragmentShader = 0; // GLSL fragment shader object (GLSL kind only)
    GLhandleARB program = 0;        // GLSL program object; 0 for the empty program and the ARB kind
    GLuint vertexProgramARB = 0;    // ARB vertex program name (ARB kind only)
    GLuint fragmentProgramARB = 0;  // ARB fragment program name (ARB kind only)
    int isARB = 0;                  // 1 for the ARB kind, 0 for GLSL and the empty program
    bool standIn = false;           // creator mode: its files did not build, it draws magenta

    // Builds the program from two files, or the empty program when either name is null. GLSL
    // sources get `defines` (preprocessor lines, such as "#define LIGHTS 4") after their #version
    // line, so one file can make several programs.
    ShaderProgram(const char* vertexFile, const char* fragmentFile, const char* defines = nullptr);

    // Makes this program current (the empty program selects no GLSL program).
    void bind();
    // Switches every kind of program off: back to the fixed-function pipeline.
    static void unbindAll();

    // Set a uniform of this program, which must be bound. An unknown name is fatal.
    void setUniform1i(const char* name, int value);
    void setUniform1f(const char* name, float value);
    void setUniform3fv(const char* name, const float* values);

private:
    void buildArb(const char* vertexSource, const char* fragmentSource);
    void buildGlsl(const char* vertexSource, const char* fragmentSource);
    bool buildForgiving(char* vertexSource, char* fragmentSource, const char* defines, std::string* log);
    GLint uniformLocation(const char* name);
};

// >> creator mode's reload
// Builds the program again from its files, read afresh. When both stages compile, the program
// links and validates and still has every uniform the old one had (the scenes set them by name),
// the new one replaces the old under the same object; otherwise the old one stays and *log gets
// why (the driver's log). Never fatal. The empty program reloads to itself.
bool shaderProgramReload(ShaderProgram* program, std::string* log);
// Reloads every program built from files so far; returns how many kept their old one, with one
// paragraph per failure ("vert + frag: log") added to *problems; *count gets how many were tried.
int shaderProgramReloadAll(int* count, std::string* problems);
// Creator mode: from now on a GLSL program whose files are missing or do not build is made as a
// flat magenta stand-in (its uniforms ignored), the reason kept in shaderProgramLoadProblems and
// on standard error, so a reload can bring the real one. Otherwise such a program is fatal.
void shaderProgramForgiveLoadFailures(bool forgive);
const std::string& shaderProgramLoadProblems();

// Reads one shader source file (the name as given, else inside the shader directory).
// Returns a malloc'd zero-terminated text the caller frees, or null when neither file opens.
char* readShaderSource(const char* name);
