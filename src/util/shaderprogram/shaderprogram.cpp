// shaderprogram: GLSL and ARB assembly programs from source files. See shaderprogram.h.
#include "util/shaderprogram/shaderprogram.h"

#include "platform/platform.h" // platformUtcNow for the log timestamp
#include "platform/report.h"   // FATAL, FATAL_LOCATION, reportErrorBox, CHECK_GL
#include "util/data/data.h"    // openFile
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum {
    ARB_MAGIC_LENGTH = 5,       // "!!ARB"
    ARB_ERROR_TEXT_BYTES = 5000 // the ARB error box's text buffer
};

static FILE* openShaderFile(const char* name)
{
    FILE* file = openFile(name, "rt");
    if (file) return file;
    // Callers pass bare names; the archive and the tree keep them in the shader directory.
    static const char prefix[] = SHADER_DIRECTORY;
    size_t length = strlen(prefix) + strlen(name) + 1;
    char* path = (char*)malloc(length);
    if (!path) return nullptr;
    snprintf(path, length, "%s%s", prefix, name);
    file = openFile(path, "rt");
    free(path);
    return file;
}

char* readShaderSource(const char* name)
{
    FILE* file = openShaderFile(name);
    if (!file) return nullptr;
    long length = -1;
    if (fseek(file, 0, SEEK_END) == 0) length = ftell(file);
    rewind(file);
    if (length < 0) {
        fclose(file);
        return nullptr;
    }
    char* text = (char*)malloc((size_t)length + 1);
    if (!text) {
        fclose(file);
        return nullptr;
    }
    // A text-mode read may deliver fewer bytes than the file's length.
    size_t got = fread(text, 1, (size_t)length, file);
    text[got] = 0;
    fclose(file);
    return text;
}

static bool isArbSource(const char* source) { return strncmp(source, "!!ARB", ARB_MAGIC_LENGTH) == 0; }

// The source with `defines` after its #version line (a #version must come first), or before it all.
static char* withDefines(char* source, const char* defines)
{
    if (!defines || !*defines) return source;
    size_t at = 0;
    if (strncmp(source, "#version", 8) == 0) {
        while (source[at] && source[at] != '\n') at++;
        if (source[at] == '\n') at++;
    }
    size_t sourceLength = strlen(source), definesLength = strlen(defines);
    char* combined = (char*)malloc(sourceLength + definesLength + 2);
    if (!combined) FATAL("Out of memory for a shader source");
    memcpy(combined, source, at);
    memcpy(combined + at, defines, definesLength);
    combined[at + definesLength] = '\n';
    memcpy(combined + at + definesLength + 1, source + at, sourceLength - at + 1);
    free(source);
    return combined;
}

ShaderProgram::ShaderProgram(const char* vertexFile, const char* fragmentFile, const char* defines)
{
    if (!vertexFile || !fragmentFile) return; // the empty program

    char* vertexSource = readShaderSource(vertexFile);
    if (!vertexSource) FATAL("Can't read shader file %s\n", vertexFile);
    char* fragmentSource = readShaderSource(fragmentFile);
    if (!fragmentSource) {
        free(vertexSource);
        FATAL("Can't read shader file %s\n", fragmentFile);
    }

    if (!isArbSource(vertexSource)) {
        isARB = 0;
        vertexSource = withDefines(vertexSource, defines);
        fragmentSource = withDefines(fragmentSource, defines);
        buildGlsl(vertexSource, fragmentSource);
    } else if (isArbSource(fragmentSource)) {
        isARB = 1;
        buildArb(vertexSource, fragmentSource);
    } else {
        free(vertexSource);
        free(fragmentSource);
        FATAL_LOCATION(); // an ARB vertex program cannot pair with a GLSL fragment shader
    }
    free(vertexSource);
    free(fragmentSource);
}

// >> ARB assembly

static void loadArbProgram(GLenum target, GLuint* name, const char* source, const char* errorFormat)
{
    glGenProgramsARB(1, name);
    glBindProgramARB(target, *name);
    glProgramStringARB(target, GL_PROGRAM_FORMAT_ASCII_ARB, (GLsizei)strlen(source), source);
    GLint errorPosition = -1;
    glGetIntegerv(GL_PROGRAM_ERROR_POSITION_ARB, &errorPosition);
    if (errorPosition != -1) {
        const char* errorString = (const char*)glGetString(GL_PROGRAM_ERROR_STRING_ARB);
        char* text = (char*)malloc(ARB_ERROR_TEXT_BYTES);
        if (text) {
            snprintf(text, ARB_ERROR_TEXT_BYTES, errorFormat, errorPosition, errorString ? errorString : "");
            reportErrorBox("%s", text);
            free(text);
        }
        FATAL_LOCATION();
    }
}

void ShaderProgram::buildArb(const char* vertexSource, const char* fragmentSource)
{
    loadArbProgram(GL_VERTEX_PROGRAM_ARB, &vertexProgramARB, vertexSource,
                   "Vertex program error at position: %d\n%s\n");
    loadArbProgram(GL_FRAGMENT_PROGRAM_ARB, &fragmentProgramARB, fragmentSource,
                   "Fragment program error at position: %d\n%s\n");
}

// >> GLSL

// Prints the UTC timestamp, then the message with the object's info log, to standard output.
static void printLog(GLhandleARB object, const char* format)
{
    GLint length = 0;
    glGetObjectParameterivARB(object, GL_OBJECT_INFO_LOG_LENGTH_ARB, &length);
    if (length < 1) length = 1;
    char* log = (char*)calloc((size_t)length + 1, 1);
    if (log) glGetInfoLogARB(object, length, nullptr, log);
    PlatformUtcTime now = platformUtcNow();
    printf("%04d-%02d-%02d %2d:%02d:%02d:%03d ", now.year, now.month, now.day, now.hour, now.minute,
           now.second, now.millis);
    printf(format, log ? log : "");
    fflush(stdout);
    free(log);
}

static void compileShader(GLhandleARB shader, const char* failureFormat)
{
    glCompileShaderARB(shader);
    CHECK_GL();
    GLint status = 0;
    glGetObjectParameterivARB(shader, GL_OBJECT_COMPILE_STATUS_ARB, &status);
    if (status != 1) {
        printLog(shader, failureFormat);
        FATAL_LOCATION();
    }
}

void ShaderProgram::buildGlsl(const char* vertexSource, const char* fragmentSource)
{
    vertexShader = glCreateShaderObjectARB(GL_VERTEX_SHADER_ARB);
    CHECK_GL();
    fragmentShader = glCreateShaderObjectARB(GL_FRAGMENT_SHADER_ARB);
    CHECK_GL();
    glShaderSourceARB(vertexShader, 1, &vertexSource, nullptr);
    CHECK_GL();
    glShaderSourceARB(fragmentShader, 1, &fragmentSource, nullptr);
    CHECK_GL();

    compileShader(vertexShader, "--- Vertex shader compile failed, log:\n %s\n---\n");
    compileShader(fragmentShader, "--- Fragment shader compile failed, log:\n %s\n---\n");

    program = glCreateProgramObjectARB();
    CHECK_GL();
    glAttachObjectARB(program, vertexShader);
    CHECK_GL();
    glAttachObjectARB(program, fragmentShader);
    CHECK_GL();
    glLinkProgramARB(program);
    CHECK_GL();
    GLint status = 0;
    glGetObjectParameterivARB(program, GL_OBJECT_LINK_STATUS_ARB, &status);
    if (status != 1) {
        printLog(program, "--- Shader linking failed, log:\n %s\n---\n");
        FATAL_LOCATION();
    }

    // Validation runs against whatever GL state is current at load time.
    glValidateProgramARB(program);
    CHECK_GL();
    status = 0;
    glGetObjectParameterivARB(program, GL_OBJECT_VALIDATE_STATUS_ARB, &status);
    if (status != 1) {
        printLog(program, "--- Shader program validation failed, log:\n %s\n---\n");
        FATAL_LOCATION();
    }
}

// >> binding

void ShaderProgram::bind()
{
    if (isARB == 0) {
        glUseProgramObjectARB(program);
        CHECK_GL();
    } else if (isARB == 1) {
        glUseProgramObjectARB(0);
        CHECK_GL();
        glEnable(GL_FRAGMENT_PROGRAM_ARB);
        CHECK_GL();
        glBindProgramARB(GL_VERTEX_PROGRAM_ARB, vertexProgramARB);
        CHECK_GL();
        glEnable(GL_VERTEX_PROGRAM_ARB);
        CHECK_GL();
        glBindProgramARB(GL_FRAGMENT_PROGRAM_ARB, fragmentProgramARB);
        CHECK_GL();
    } else {
        unbindAll();
    }
}

void ShaderProgram::unbindAll()
{
    glDisable(GL_FRAGMENT_PROGRAM_ARB);
    CHECK_GL();
    glDisable(GL_VERTEX_PROGRAM_ARB);
    CHECK_GL();
    glUseProgramObjectARB(0);
    CHECK_GL();
}

// >> uniforms

GLint ShaderProgram::uniformLocation(const char* name)
{
    GLint location = glGetUniformLocationARB(program, name);
    if (location == -1) FATAL("Couldn't find uniform %s in %i", name, (int)program);
    return location;
}

void ShaderProgram::setUniform1i(const char* name, int value) { glUniform1iARB(uniformLocation(name), value); }

void ShaderProgram::setUniform1f(const char* name, float value) { glUniform1fARB(uniformLocation(name), value); }

void ShaderProgram::setUniform3fv(const char* name, const float* values)
{
    glUniform3fvARB(uniformLocation(name), 1, values);
}
